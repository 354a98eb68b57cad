// A loopback HTTP server for the download benchmark: every GET answers the one file it was given, with its
// Content-Length, sent from the page cache with sendfile so that the server is never what limits a download.
// Prints its port on the first line, then serves until killed; one thread per connection, one request each.

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <netinet/in.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void serve(int connection, int file, off_t size) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ::close(connection);
            return;
        }
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(size) +
        "\r\nConnection: close\r\n\r\n";
    bool ok = ::send(connection, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
    off_t offset = 0;
    while (ok && offset < size) {
        const ssize_t sent = ::sendfile(connection, file, &offset, static_cast<std::size_t>(size - offset));
        ok = sent > 0;
    }
    ::shutdown(connection, SHUT_WR);
    while (::recv(connection, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(connection);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FILE\n";
        return 2;
    }
    const int file = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file < 0 || ::fstat(file, &info) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 64) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("loopback listener");
        return 1;
    }
    std::cout << ntohs(address.sin_port) << std::endl;
    while (true) {
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0)
            std::thread(serve, connection, file, info.st_size).detach();
    }
}
