#include "platform/qt/realized_window.h"

#include "platform/ui/picture.h"
#include "resources/resources.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QImageReader>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>

namespace qtui {
namespace {

// Counts nested applications of the model's state, so that the widgets' own signals are not fed back.
class Applying {
public:
    explicit Applying(int& depth) : depth_(depth) { ++depth_; }
    ~Applying() { --depth_; }
    Applying(const Applying&) = delete;
    Applying& operator=(const Applying&) = delete;

private:
    int& depth_;
};

const QColor kRuleColour(200, 200, 200);

QString plainTooltip(const std::string& text) {
    const QString shown = toWidgetText(text);
    if (!Qt::mightBeRichText(shown))
        return shown;
    // Text that Qt would take for markup is escaped, so the tooltip stays plain.
    return "<p style='white-space:pre'>" + shown.toHtmlEscaped().replace('\n', "<br>") + "</p>";
}

} // namespace

QString toWidgetText(const std::string& text) {
    QString converted = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return converted;
}

std::string toModelText(const QString& text) {
    QString converted = text;
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    converted.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return converted.toStdString();
}

QFont windowFont(const ui::FontSpec& spec) {
    QFont font(QString::fromUtf8(ui::kWindowFontFace));
    font.setPixelSize(spec.pixels > 0 ? spec.pixels : 12);
    font.setBold(spec.bold);
    return font;
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::setPicture(const std::string& resourceName) {
    delete movie_;
    movie_ = nullptr;
    delete buffer_;
    buffer_ = nullptr;
    image_ = QImage();
    scaled_ = QPixmap();

    const std::string_view bytes = resources::find(resourceName);
    if (bytes.substr(0, 4) == "GIF8") {
        // The bytes are compiled in and live as long as the program: no copy is needed.
        bytes_ = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
        buffer_ = new QBuffer(&bytes_, this);
        buffer_->open(QIODevice::ReadOnly);
        QBuffer probe(&bytes_);
        probe.open(QIODevice::ReadOnly);
        movieSize_ = QImageReader(&probe, "gif").size();
        movie_ = new QMovie(buffer_, "gif", this);
        movie_->setCacheMode(QMovie::CacheAll);
        connect(movie_, &QMovie::frameChanged, this, [this] { update(); });
        rescale();
        movie_->start();
        // A hidden window (silent mode keeps the main window hidden) spends no time on frames nobody sees.
        if (!isVisible())
            movie_->setPaused(true);
    } else if (const auto picture = ui::decodePng(bytes)) {
        image_ =
            QImage(picture->rgba.data(), picture->width, picture->height, picture->width * 4, QImage::Format_RGBA8888)
                .copy();
        rescale();
    }
    update();
}

bool PictureBox::animating() const {
    return movie_ != nullptr && movie_->state() == QMovie::Running;
}

QPixmap PictureBox::shown() const {
    return movie_ != nullptr ? movie_->currentPixmap() : scaled_;
}

void PictureBox::rescale() {
    if (movie_ != nullptr) {
        // The movie scales every frame itself.
        if (movieSize_.isValid() && !size().isEmpty())
            movie_->setScaledSize(movieSize_.scaled(size(), Qt::KeepAspectRatio));
    } else if (!image_.isNull() && !size().isEmpty()) {
        scaled_ = QPixmap::fromImage(image_.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (movie_ != nullptr) {
        const QMovie::MovieState state = movie_->state();
        movie_->stop();
        rescale();
        if (state != QMovie::NotRunning) {
            movie_->start();
            movie_->setPaused(state == QMovie::Paused);
        }
    } else {
        rescale();
    }
}

void PictureBox::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (movie_ != nullptr)
        movie_->setPaused(false);
}

void PictureBox::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (movie_ != nullptr)
        movie_->setPaused(true);
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap pixmap = shown();
    if (!pixmap.isNull()) {
        const QPoint at((width() - pixmap.width()) / 2, (height() - pixmap.height()) / 2);
        painter.drawPixmap(at, pixmap);
    } else if (std::min(width(), height()) <= 4) {
        painter.fillRect(rect(), kRuleColour);
    }
}

LinkLabel::LinkLabel(RealizedWindow& owner, std::string control, QWidget* parent)
    : QLabel(parent), owner_(owner), control_(std::move(control)) {
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral("QLabel { color: #0066cc; } QLabel:disabled { color: #a0a0a0; }"));
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        owner_.fireLater(control_, ui::Event::Pressed);
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    // A release outside the link (the user moved away) is no click.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        owner_.fireLater(control_, ui::Event::Released);
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    setUnderline(isEnabled());
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    setUnderline(false);
    QLabel::leaveEvent(event);
}

void LinkLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
        if (!isEnabled())
            setUnderline(false);
    }
    QLabel::changeEvent(event);
}

void LinkLabel::setUnderline(bool underline) {
    QFont shown = font();
    if (shown.underline() == underline)
        return;
    shown.setUnderline(underline);
    setFont(shown);
}

RealizedWindow::RealizedWindow(std::shared_ptr<ui::Window> window) : window_(std::move(window)) {
    setObjectName(QString::fromStdString(window_->name()));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFont(windowFont({}));
    build();
}

RealizedWindow::~RealizedWindow() = default;

QWidget* RealizedWindow::control(const std::string& name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second.widget;
}

void RealizedWindow::fireLater(const std::string& control, ui::Event event) {
    const std::weak_ptr<ui::Window> weak = window_;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak, control, event] {
            if (const auto window = weak.lock())
                window->fire(control, event);
        },
        Qt::QueuedConnection);
}

void RealizedWindow::build() {
    const ui::WindowSpec& spec = window_->spec();
    for (const ui::ControlSpec& controlSpec : spec.controls) {
        QWidget* parent = this;
        if (!controlSpec.parent.empty()) {
            if (QWidget* container = control(controlSpec.parent))
                parent = container;
        }
        QWidget* widget = makeWidget(controlSpec, parent);
        widget->setObjectName(QString::fromStdString(controlSpec.name));
        widget->setFont(windowFont(controlSpec.font));
        widget->setGeometry(controlSpec.left, controlSpec.top, controlSpec.width, controlSpec.height);
        controls_[controlSpec.name] = {&controlSpec, widget};
        if (parent == this) {
            extent_ =
                extent_.expandedTo(QSize(controlSpec.left + controlSpec.width, controlSpec.top + controlSpec.height));
        }
    }
    fitFrame();
}

QWidget* RealizedWindow::makeWidget(const ui::ControlSpec& spec, QWidget* parent) {
    const std::string name = spec.name;
    switch (spec.kind) {
    case ui::ControlKind::PictureBox:
        return new PictureBox(parent);
    case ui::ControlKind::Hyperlink: {
        auto* link = new LinkLabel(*this, name, parent);
        link->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return link;
    }
    case ui::ControlKind::Label: {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment((spec.centered ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        return label;
    }
    case ui::ControlKind::EditBox: {
        if (spec.multiline) {
            auto* edit = new QPlainTextEdit(parent);
            edit->setReadOnly(spec.readOnly);
            edit->setLineWrapMode(spec.horizontalScroll ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
            edit->setHorizontalScrollBarPolicy(spec.horizontalScroll ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            edit->setVerticalScrollBarPolicy(spec.verticalScroll ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            if (!spec.readOnly) {
                connect(edit, &QPlainTextEdit::textChanged, this, [this, edit, name] {
                    if (applying_ == 0)
                        window_->noteUserText(name, toModelText(edit->toPlainText()));
                });
            }
            return edit;
        }
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly(spec.readOnly);
        edit->setAlignment(spec.centered ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        if (spec.integerOnly) {
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
        connect(edit, &QLineEdit::textEdited, this,
                [this, name](const QString& text) { window_->noteUserText(name, toModelText(text)); });
        return edit;
    }
    case ui::ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        return bar;
    }
    case ui::ControlKind::GroupBox:
        return new QGroupBox(parent);
    case ui::ControlKind::RadioButton: {
        auto* radio = new QRadioButton(parent);
        connect(radio, &QRadioButton::clicked, this, [this, radio, name] {
            window_->noteUserChecked(name, radio->isChecked());
            fireLater(name, ui::Event::Clicked);
        });
        return radio;
    }
    case ui::ControlKind::CheckBox: {
        auto* check = new QCheckBox(parent);
        connect(check, &QCheckBox::clicked, this, [this, check, name] {
            window_->noteUserChecked(name, check->isChecked());
            fireLater(name, ui::Event::Clicked);
        });
        return check;
    }
    case ui::ControlKind::ReportList: {
        auto* list = new QTreeWidget(parent);
        list->setRootIsDecorated(false);
        list->setItemsExpandable(false);
        list->setUniformRowHeights(true);
        list->setAllColumnsShowFocus(true);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setColumnCount(static_cast<int>(spec.columns.size()));
        QStringList headings;
        for (const ui::ColumnSpec& column : spec.columns)
            headings << toWidgetText(column.heading);
        list->setHeaderLabels(headings);
        list->header()->setStretchLastSection(false);
        list->header()->setSectionsMovable(false);
        for (std::size_t i = 0; i < spec.columns.size(); ++i)
            list->setColumnWidth(static_cast<int>(i), spec.columns[i].width);
        return list;
    }
    }
    return new QWidget(parent);
}

void RealizedWindow::start(const std::map<std::string, ui::ControlState>& state) {
    Applying applying(applying_);
    for (const auto& [name, controlState] : state)
        applyState(name, controlState);
    const auto found = state.find(std::string());
    const ui::ControlState window = found == state.end() ? ui::ControlState() : found->second;
    setWindowTitle(toWidgetText(window.text));
    move(window.left, window.top);
    if (window.minimized)
        setWindowState(windowState() | Qt::WindowMinimized);
    setEnabled(!window.disabled);
    // Shown once the created handler has run (it may hide the window), as the model then says.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!window_->closed() && window_->visible())
                show();
        },
        Qt::QueuedConnection);
}

void RealizedWindow::applyState(const std::string& name, const ui::ControlState& state) {
    const auto found = controls_.find(name);
    if (found == controls_.end())
        return;
    const Control& control = found->second;
    applyText(control, state.text);
    applyChecked(control, state.checked);
    control.widget->move(state.left, state.top);
    control.widget->setVisible(state.visible);
    control.widget->setEnabled(!state.disabled);
    if (!state.tooltip.empty())
        control.widget->setToolTip(plainTooltip(state.tooltip));
    if (auto* picture = dynamic_cast<PictureBox*>(control.widget))
        picture->setPicture(state.picture);
    if (auto* bar = dynamic_cast<QProgressBar*>(control.widget))
        bar->setValue(std::clamp(state.progress, 0, 100));
    if (auto* list = dynamic_cast<QTreeWidget*>(control.widget)) {
        list->clear();
        for (const auto& row : state.rows) {
            auto* item = new QTreeWidgetItem(list);
            for (std::size_t column = 0; column < row.size(); ++column)
                item->setText(static_cast<int>(column), toWidgetText(row[column]));
        }
    }
}

void RealizedWindow::applyText(const Control& control, const std::string& text) {
    QWidget* widget = control.widget;
    const QString shown = toWidgetText(text);
    if (auto* edit = dynamic_cast<QPlainTextEdit*>(widget)) {
        if (edit->toPlainText() != shown)
            edit->setPlainText(shown);
    } else if (auto* line = dynamic_cast<QLineEdit*>(widget)) {
        if (line->text() != shown)
            line->setText(shown);
    } else if (auto* label = dynamic_cast<QLabel*>(widget)) {
        label->setText(shown);
    } else if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
    } else if (auto* group = dynamic_cast<QGroupBox*>(widget)) {
        group->setTitle(shown);
    }
}

void RealizedWindow::applyChecked(const Control& control, bool checked) {
    auto* button = dynamic_cast<QAbstractButton*>(control.widget);
    if (button == nullptr || !button->isCheckable() || button->isChecked() == checked)
        return;
    if (!checked && button->autoExclusive()) {
        // Qt keeps one radio button of a group checked; the model may uncheck them all.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
        return;
    }
    button->setChecked(checked);
}

void RealizedWindow::append(const Control& control, const std::string& text) {
    if (auto* edit = dynamic_cast<QPlainTextEdit*>(control.widget)) {
        // The caret goes to the end, the line break and the text are inserted there and the caret is scrolled to.
        edit->moveCursor(QTextCursor::End);
        edit->insertPlainText(QStringLiteral("\n") + toWidgetText(text));
        edit->ensureCursorVisible();
        edit->horizontalScrollBar()->setValue(0);
    } else if (auto* line = dynamic_cast<QLineEdit*>(control.widget)) {
        // A single line cannot show the line break: it shows the stored text.
        line->setText(toWidgetText(window_->text(control.spec->name)));
    }
}

void RealizedWindow::apply(const ui::Change& change) {
    Applying applying(applying_);
    if (change.control.empty()) {
        applyWindow(change);
        return;
    }
    const auto found = controls_.find(change.control);
    if (found == controls_.end())
        return;
    const Control& control = found->second;
    QWidget* widget = control.widget;
    using Kind = ui::Change::Kind;
    switch (change.kind) {
    case Kind::Text:
        applyText(control, change.text);
        break;
    case Kind::Checked:
        applyChecked(control, change.value != 0);
        break;
    case Kind::Visible:
        widget->setVisible(change.value != 0);
        break;
    case Kind::Disabled:
        widget->setEnabled(change.value == 0);
        break;
    case Kind::Left:
    case Kind::Top:
        // Both from the store, so that a pair of writes moves the control once, to its final place.
        widget->move(window_->left(change.control), window_->top(change.control));
        break;
    case Kind::Minimized:
        break;
    case Kind::Picture:
        if (auto* picture = dynamic_cast<PictureBox*>(widget))
            picture->setPicture(change.text);
        break;
    case Kind::Progress:
        if (auto* bar = dynamic_cast<QProgressBar*>(widget))
            bar->setValue(std::clamp(change.value, 0, 100));
        break;
    case Kind::Tooltip:
        widget->setToolTip(plainTooltip(change.text));
        break;
    case Kind::Append:
        append(control, change.text);
        break;
    case Kind::InsertRow:
        if (auto* list = dynamic_cast<QTreeWidget*>(widget))
            new QTreeWidgetItem(list);
        break;
    case Kind::DeleteAllRows:
        if (auto* list = dynamic_cast<QTreeWidget*>(widget))
            list->clear();
        break;
    case Kind::CellText:
        if (auto* list = dynamic_cast<QTreeWidget*>(widget)) {
            if (QTreeWidgetItem* item = list->topLevelItem(change.row))
                item->setText(change.column, toWidgetText(change.text));
        }
        break;
    }
}

void RealizedWindow::applyWindow(const ui::Change& change) {
    using Kind = ui::Change::Kind;
    switch (change.kind) {
    case Kind::Text:
        setWindowTitle(toWidgetText(change.text));
        break;
    case Kind::Visible:
        if (change.value == 0) {
            hide();
        } else {
            show();
            if (!isMinimized()) {
                raise();
                activateWindow();
            }
        }
        break;
    case Kind::Minimized:
        if (change.value != 0)
            setWindowState(windowState() | Qt::WindowMinimized);
        else if (isVisible())
            showNormal();
        else
            setWindowState(windowState() & ~Qt::WindowMinimized);
        break;
    case Kind::Left:
    case Kind::Top:
        move(window_->left(), window_->top());
        break;
    case Kind::Disabled:
        setEnabled(change.value == 0);
        break;
    default:
        break;
    }
}

void RealizedWindow::release() {
    released_ = true;
}

void RealizedWindow::closeEvent(QCloseEvent* event) {
    if (released_) {
        event->accept();
        return;
    }
    // The user's close (the title bar's X) is a request: the close guard decides, and the model destroys the window.
    event->ignore();
    const std::weak_ptr<ui::Window> weak = window_;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak] {
            if (const auto window = weak.lock())
                (void)window->requestClose();
        },
        Qt::QueuedConnection);
}

void RealizedWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // Moves the model asked for are already in the store; any other move of the shown window is the user's.
    if (applying_ == 0 && isVisible() && !released_)
        window_->noteUserPosition(pos().x(), pos().y());
    fitFrame();
}

void RealizedWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && applying_ == 0 && !released_)
        window_->noteUserMinimized(isMinimized());
    QWidget::changeEvent(event);
}

void RealizedWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitFrame();
}

void RealizedWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitFrame();
}

void RealizedWindow::fitFrame() {
    // The layout gives the outer size, frame included; the frame is known once the window system has framed the
    // window. The client area never gets smaller than the controls need.
    QSize extra(0, 0);
    if (isVisible())
        extra = frameGeometry().size() - geometry().size();
    else if (frameExtra_.isValid())
        return; // hidden: the last known frame holds
    if (extra == frameExtra_)
        return;
    frameExtra_ = extra;
    const ui::WindowSpec& spec = window_->spec();
    setFixedSize(
        QSize(spec.width, spec.height).shrunkBy(QMargins(0, 0, extra.width(), extra.height())).expandedTo(extent_));
}

} // namespace qtui
