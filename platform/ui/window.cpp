#include "platform/ui/window.h"

#include "platform/ui/toolkit.h"

#include <utility>

namespace ui {

namespace {

Change textChange(Change::Kind kind, const std::string& control, const std::string& text) {
    Change change;
    change.kind = kind;
    change.control = control;
    change.text = text;
    return change;
}

Change valueChange(Change::Kind kind, const std::string& control, int value) {
    Change change;
    change.kind = kind;
    change.control = control;
    change.value = value;
    return change;
}

Change cellChange(Change::Kind kind, const std::string& control, int row, int column, const std::string& text) {
    Change change;
    change.kind = kind;
    change.control = control;
    change.row = row;
    change.column = column;
    change.text = text;
    return change;
}

template <typename T> bool assign(T& member, const T& value) {
    if (member == value)
        return false;
    member = value;
    return true;
}

} // namespace

Window::Window(WindowSpec spec) : spec_(std::move(spec)) {
    ControlState& window = controls_[std::string()];
    window.text = spec_.title;
    window.left = spec_.left;
    window.top = spec_.top;
    for (const ControlSpec& control : spec_.controls) {
        ControlState& state = controls_[control.name];
        state.text = control.text;
        state.checked = control.checked;
        state.left = control.left;
        state.top = control.top;
        state.picture = control.picture;
    }
}

ControlState* Window::find(const std::string& control) {
    const auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : &found->second;
}

const ControlState* Window::find(const std::string& control) const {
    const auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : &found->second;
}

void Window::notify(const Change& change) {
    // Called under the lock, so that the realizer hears of the changes in the order they were made.
    if (observer_ && !closed_)
        observer_(change);
}

void Window::uncheckSiblings(const std::string& control) {
    const ControlSpec* spec = findControl(spec_, control);
    if (spec == nullptr || spec->kind != ControlKind::RadioButton)
        return;
    for (const ControlSpec& other : spec_.controls) {
        if (other.kind != ControlKind::RadioButton || other.parent != spec->parent || other.name == control)
            continue;
        ControlState* state = find(other.name);
        if (state != nullptr && state->checked) {
            state->checked = false;
            notify(valueChange(Change::Kind::Checked, other.name, 0));
        }
    }
}

std::string Window::text(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? std::string() : state->text;
}

void Window::setText(const std::string& control, const std::string& text) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->text, text))
        notify(textChange(Change::Kind::Text, control, text));
}

void Window::appendText(const std::string& control, const std::string& text) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state == nullptr)
        return;
    state->text += "\r\n";
    state->text += text;
    notify(textChange(Change::Kind::Append, control, text));
}

bool Window::checked(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state != nullptr && state->checked;
}

void Window::setChecked(const std::string& control, bool checked) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state == nullptr)
        return;
    if (assign(state->checked, checked))
        notify(valueChange(Change::Kind::Checked, control, checked ? 1 : 0));
    if (checked)
        uncheckSiblings(control);
}

bool Window::visible(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state != nullptr && state->visible;
}

void Window::setVisible(const std::string& control, bool visible) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->visible, visible))
        notify(valueChange(Change::Kind::Visible, control, visible ? 1 : 0));
}

bool Window::disabled(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state != nullptr && state->disabled;
}

void Window::setDisabled(const std::string& control, bool disabled) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->disabled, disabled))
        notify(valueChange(Change::Kind::Disabled, control, disabled ? 1 : 0));
}

int Window::left(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? 0 : state->left;
}

int Window::top(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? 0 : state->top;
}

void Window::setLeft(const std::string& control, int left) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->left, left))
        notify(valueChange(Change::Kind::Left, control, left));
}

void Window::setTop(const std::string& control, int top) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->top, top))
        notify(valueChange(Change::Kind::Top, control, top));
}

bool Window::minimized() const {
    std::lock_guard lock(mutex_);
    return find({})->minimized;
}

void Window::setMinimized(bool minimized) {
    std::lock_guard lock(mutex_);
    if (assign(find({})->minimized, minimized))
        notify(valueChange(Change::Kind::Minimized, {}, minimized ? 1 : 0));
}

std::string Window::picture(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? std::string() : state->picture;
}

void Window::setPicture(const std::string& control, const std::string& resourceName) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->picture, resourceName))
        notify(textChange(Change::Kind::Picture, control, resourceName));
}

int Window::progress(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? 0 : state->progress;
}

void Window::setProgress(const std::string& control, int position) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->progress, position))
        notify(valueChange(Change::Kind::Progress, control, position));
}

std::string Window::tooltip(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? std::string() : state->tooltip;
}

void Window::setTooltip(const std::string& control, const std::string& text) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state != nullptr && assign(state->tooltip, text))
        notify(textChange(Change::Kind::Tooltip, control, text));
}

int Window::rowCount(const std::string& list) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(list);
    return state == nullptr ? 0 : static_cast<int>(state->rows.size());
}

int Window::insertRow(const std::string& list) {
    std::lock_guard lock(mutex_);
    const ControlSpec* spec = findControl(spec_, list);
    ControlState* state = find(list);
    if (spec == nullptr || spec->kind != ControlKind::ReportList || state == nullptr)
        return -1;
    state->rows.emplace_back(spec->columns.size());
    const int row = static_cast<int>(state->rows.size()) - 1;
    notify(cellChange(Change::Kind::InsertRow, list, row, -1, {}));
    return row;
}

void Window::deleteAllRows(const std::string& list) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(list);
    if (state == nullptr)
        return;
    state->rows.clear();
    notify(textChange(Change::Kind::DeleteAllRows, list, {}));
}

std::string Window::cellText(const std::string& list, int row, int column) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(list);
    if (state == nullptr || row < 0 || row >= static_cast<int>(state->rows.size()))
        return {};
    const auto& cells = state->rows[static_cast<std::size_t>(row)];
    if (column < 0 || column >= static_cast<int>(cells.size()))
        return {};
    return cells[static_cast<std::size_t>(column)];
}

void Window::setCellText(const std::string& list, int row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(list);
    if (state == nullptr || row < 0 || row >= static_cast<int>(state->rows.size()))
        return;
    auto& cells = state->rows[static_cast<std::size_t>(row)];
    if (column < 0 || column >= static_cast<int>(cells.size()))
        return;
    if (assign(cells[static_cast<std::size_t>(column)], text))
        notify(cellChange(Change::Kind::CellText, list, row, column, text));
}

ControlState Window::state(const std::string& control) const {
    std::lock_guard lock(mutex_);
    const ControlState* state = find(control);
    return state == nullptr ? ControlState() : *state;
}

void Window::on(const std::string& control, Event event, std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    handlers_[{control, event}] = std::move(handler);
}

void Window::setCloseGuard(std::function<bool()> guard) {
    std::lock_guard lock(mutex_);
    closeGuard_ = std::move(guard);
}

void Window::setAfterDestroy(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    afterDestroy_ = std::move(action);
}

void Window::fire(const std::string& control, Event event) {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        const auto found = handlers_.find({control, event});
        if (found == handlers_.end())
            return;
        handler = found->second;
    }
    // Run outside the lock: handlers read and write the window, show message boxes and start threads.
    if (handler)
        handler();
}

bool Window::requestClose() {
    const auto keepAlive = weak_from_this().lock();
    std::function<bool()> guard;
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return true;
        if (destroying_)
            return false;
        guard = closeGuard_;
    }
    if (guard && !guard())
        return false;
    destroyNow();
    return closed();
}

void Window::close() {
    if (auto self = weak_from_this().lock()) {
        toolkit().post([self] { self->destroyNow(); });
        return;
    }
    // A window not owned by a shared pointer cannot outlive a post; it is destroyed at once on the UI thread.
    if (toolkit().onUiThread())
        destroyNow();
}

bool Window::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

void Window::destroyNow() {
    // The realizer may hold the last reference and let go of it in unrealize().
    const auto keepAlive = weak_from_this().lock();
    std::function<void()> willBeDestroyed;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || destroying_)
            return;
        destroying_ = true;
        const auto found = handlers_.find({std::string(), Event::WillBeDestroyed});
        if (found != handlers_.end())
            willBeDestroyed = found->second;
    }
    if (willBeDestroyed)
        willBeDestroyed();

    std::function<void()> afterDestroy;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        destroying_ = false;
        afterDestroy = std::move(afterDestroy_);
        afterDestroy_ = nullptr;
        // Handlers may hold the window itself; letting go of them here breaks such cycles.
        handlers_.clear();
        closeGuard_ = nullptr;
    }
    toolkit().unrealize(*this);
    if (afterDestroy)
        afterDestroy();
}

void Window::noteUserText(const std::string& control, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (ControlState* state = find(control))
        state->text = text;
}

void Window::noteUserChecked(const std::string& control, bool checked) {
    std::lock_guard lock(mutex_);
    ControlState* state = find(control);
    if (state == nullptr)
        return;
    state->checked = checked;
    if (!checked)
        return;
    // The widgets already unchecked their siblings; the store follows without telling the realizer back.
    const ControlSpec* spec = findControl(spec_, control);
    if (spec == nullptr || spec->kind != ControlKind::RadioButton)
        return;
    for (const ControlSpec& other : spec_.controls) {
        if (other.kind == ControlKind::RadioButton && other.parent == spec->parent && other.name != control)
            controls_[other.name].checked = false;
    }
}

void Window::noteUserPosition(int left, int top) {
    std::lock_guard lock(mutex_);
    ControlState* window = find({});
    window->left = left;
    window->top = top;
}

void Window::noteUserMinimized(bool minimized) {
    std::lock_guard lock(mutex_);
    find({})->minimized = minimized;
}

std::map<std::string, ControlState> Window::attach(Observer observer) {
    std::lock_guard lock(mutex_);
    if (!closed_)
        observer_ = std::move(observer);
    return controls_;
}

void Window::detach() {
    std::lock_guard lock(mutex_);
    observer_ = nullptr;
}

std::shared_ptr<Window> loadWindow(const WindowSpec& spec, const std::function<void(Window&)>& install) {
    auto window = std::make_shared<Window>(spec);
    if (install)
        install(*window);
    // Realized first, so that whatever the created handler shows or logs reaches the realizer in order.
    toolkit().realize(window);
    window->fire({}, Event::Created);
    return window;
}

} // namespace ui
