#pragma once

// The widgets of one realized window: a top-level widget built from the window's layout that mirrors the model's
// changes and feeds the user's edits and events back into the model.

#include "platform/ui/window.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <string>

namespace qtui {

/// CR LF (the program's line break) to LF (the widgets').
[[nodiscard]] QString toWidgetText(const std::string& text);
/// A widget's text back to the program's form: UTF-8 with CR LF line breaks.
[[nodiscard]] std::string toModelText(const QString& text);

/// The window face in pixels, bold or not.
[[nodiscard]] QFont windowFont(const ui::FontSpec& spec);

/// A picture box: a PNG scaled into the box keeping its aspect, an animated GIF, or a thin grey rule.
class PictureBox : public QWidget {
public:
    explicit PictureBox(QWidget* parent);
    /// Shows the named resource; an unknown or empty name shows none.
    void setPicture(const std::string& resourceName);
    /// True while an animation plays.
    [[nodiscard]] bool animating() const;
    /// The picture as drawn now (the current frame of an animation); null when none.
    [[nodiscard]] QPixmap shown() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rescale();

    QImage image_;
    QPixmap scaled_;
    QByteArray bytes_;
    QBuffer* buffer_ = nullptr;
    QMovie* movie_ = nullptr;
    QSize movieSize_;
};

class RealizedWindow;

/// A hyperlink: blue text with a hand cursor that reports the left button's press and release.
class LinkLabel : public QLabel {
public:
    LinkLabel(RealizedWindow& owner, std::string control, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setUnderline(bool underline);

    RealizedWindow& owner_;
    std::string control_;
};

class RealizedWindow : public QWidget {
public:
    /// Builds the widgets; the window is kept alive until the widget is deleted.
    explicit RealizedWindow(std::shared_ptr<ui::Window> window);
    ~RealizedWindow() override;

    /// Applies the state the model attached with and shows the window unless it is hidden.
    void start(const std::map<std::string, ui::ControlState>& state);
    /// Mirrors one change of the model.
    void apply(const ui::Change& change);
    /// From now on a close of the widget is a real one (the model destroyed the window).
    void release();

    [[nodiscard]] ui::Window& model() const { return *window_; }
    /// The widget of a control; nullptr for an unknown name.
    [[nodiscard]] QWidget* control(const std::string& name) const;

    /// Runs the control's handler on the GUI thread after the current Qt event, never inside a widget's own event
    /// handler, so that handlers may destroy windows and open nested dialogs safely.
    void fireLater(const std::string& control, ui::Event event);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Control {
        const ui::ControlSpec* spec = nullptr;
        QWidget* widget = nullptr;
    };

    void build();
    QWidget* makeWidget(const ui::ControlSpec& spec, QWidget* parent);
    void applyState(const std::string& name, const ui::ControlState& state);
    void applyText(const Control& control, const std::string& text);
    void applyChecked(const Control& control, bool checked);
    void append(const Control& control, const std::string& text);
    void applyWindow(const ui::Change& change);
    void fitFrame();

    std::shared_ptr<ui::Window> window_;
    std::map<std::string, Control> controls_;
    QSize extent_;
    QSize frameExtra_{-1, -1};
    int applying_ = 0;
    bool released_ = false;
};

} // namespace qtui
