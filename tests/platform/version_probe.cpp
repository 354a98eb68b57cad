// Never asks for its version: the marker must be in its file all the same.
int main() {
    return 0;
}
