#pragma once

// The toolkit-neutral window model. A Window keeps every control's properties in a locked store that workers may
// read and write from any thread; a realizer (Qt, headless, a test script) mirrors the changes it is told about.
// Event handlers run on the UI thread only. Multi-line texts use CR LF, as everywhere inside the program.

#include "platform/ui/layout.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ui {

enum class Event { Released, Pressed, Clicked, Created, WillBeDestroyed };

/// What changed, as a realizer is told. The control "" is the window itself (title, left, top, visible, minimized).
struct Change {
    enum class Kind {
        Text,
        Checked,
        Visible,
        Disabled,
        Left,
        Top,
        Minimized,
        Picture,
        Progress,
        Tooltip,
        Append,
        InsertRow,
        DeleteAllRows,
        CellText
    };
    Kind kind = Kind::Text;
    std::string control;
    std::string text;
    int value = 0;
    int row = -1;
    int column = -1;
};

/// The live state of one control (or of the window for the name "").
struct ControlState {
    std::string text;
    bool checked = false;
    bool visible = true;
    bool disabled = false;
    bool minimized = false;
    int left = 0;
    int top = 0;
    int progress = 0;
    std::string picture;
    std::string tooltip;
    std::vector<std::vector<std::string>> rows;
};

class Window : public std::enable_shared_from_this<Window> {
public:
    using Observer = std::function<void(const Change&)>;

    explicit Window(WindowSpec spec);
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    /// The layout the window was built from.
    [[nodiscard]] const WindowSpec& spec() const { return spec_; }
    /// The window's name in its layout.
    [[nodiscard]] const std::string& name() const { return spec_.name; }

    /// Text of a control (the title for ""); empty for an unknown control.
    [[nodiscard]] std::string text(const std::string& control) const;
    void setText(const std::string& control, const std::string& text);
    /// Inserts CR LF and the text at the end of an edit box (the status log's append).
    void appendText(const std::string& control, const std::string& text);
    [[nodiscard]] bool checked(const std::string& control) const;
    /// Checking a radio button unchecks the other radio buttons of the same parent.
    void setChecked(const std::string& control, bool checked);
    [[nodiscard]] bool visible(const std::string& control = {}) const;
    void setVisible(const std::string& control, bool visible);
    [[nodiscard]] bool disabled(const std::string& control) const;
    void setDisabled(const std::string& control, bool disabled);
    [[nodiscard]] int left(const std::string& control = {}) const;
    [[nodiscard]] int top(const std::string& control = {}) const;
    void setLeft(const std::string& control, int left);
    void setTop(const std::string& control, int top);
    [[nodiscard]] bool minimized() const;
    void setMinimized(bool minimized);
    /// Resource name of the picture shown; empty when none.
    [[nodiscard]] std::string picture(const std::string& control) const;
    void setPicture(const std::string& control, const std::string& resourceName);
    [[nodiscard]] int progress(const std::string& control) const;
    void setProgress(const std::string& control, int position);
    [[nodiscard]] std::string tooltip(const std::string& control) const;
    void setTooltip(const std::string& control, const std::string& text);

    /// Rows of a report list.
    [[nodiscard]] int rowCount(const std::string& list) const;
    /// Appends an empty row; answers its 0-based index, -1 for an unknown list.
    int insertRow(const std::string& list);
    void deleteAllRows(const std::string& list);
    /// Text of a cell; empty when the row or column does not exist.
    [[nodiscard]] std::string cellText(const std::string& list, int row, int column) const;
    /// Sets a cell of an existing row; ignored when the row does not exist.
    void setCellText(const std::string& list, int row, int column, const std::string& text);

    /// A copy of a control's whole state.
    [[nodiscard]] ControlState state(const std::string& control) const;

    /// Registers the handler of a control's event ("" for the window's own events).
    void on(const std::string& control, Event event, std::function<void()> handler);
    /// Registers the guard asked before a user's close; answering false keeps the window open.
    void setCloseGuard(std::function<bool()> guard);
    /// Registers what runs after the window has been destroyed (after its will-be-destroyed handler).
    void setAfterDestroy(std::function<void()> action);

    /// Runs a control's handler; UI thread only. Realizers call this for user events, tests to simulate them.
    void fire(const std::string& control, Event event);
    /// A user's attempt to close the window: asks the guard, then destroys. UI thread only. True when destroyed.
    bool requestClose();
    /// Destroys the window from any thread: on the UI thread its will-be-destroyed handler runs, the realizer
    /// lets go and the after-destroy action runs. Later writes are kept in the store but shown nowhere.
    void close();
    /// True once the window has been destroyed.
    [[nodiscard]] bool closed() const;

    /// A user edit or click already shown by the realizer: stores it without telling the realizer back.
    void noteUserText(const std::string& control, const std::string& text);
    void noteUserChecked(const std::string& control, bool checked);
    void noteUserPosition(int left, int top);
    /// The user minimized or restored the window.
    void noteUserMinimized(bool minimized);

    /// Attaches the realizer's observer and answers, under the same lock, the state it must start from.
    std::map<std::string, ControlState> attach(Observer observer);
    /// Detaches the observer; no change is reported afterwards.
    void detach();

private:
    void destroyNow();
    ControlState* find(const std::string& control);
    const ControlState* find(const std::string& control) const;
    void notify(const Change& change);
    void uncheckSiblings(const std::string& control);

    WindowSpec spec_;
    mutable std::mutex mutex_;
    std::map<std::string, ControlState> controls_;
    Observer observer_;
    bool closed_ = false;
    // Set while the will-be-destroyed handler runs, so that a nested close does not destroy twice.
    bool destroying_ = false;
    std::map<std::pair<std::string, Event>, std::function<void()>> handlers_;
    std::function<bool()> closeGuard_;
    std::function<void()> afterDestroy_;
};

/// Builds a window from its layout on the UI thread: install() registers the handlers, the toolkit realizes it, the
/// created handler runs; the window is shown afterwards unless the created handler hid it. Answers the window.
std::shared_ptr<Window> loadWindow(const WindowSpec& spec, const std::function<void(Window&)>& install);

} // namespace ui
