#include "platform/qt/qt_toolkit.h"

#include "platform/qt/realized_window.h"
#include "platform/ui/window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFont>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <atomic>
#include <future>
#include <mutex>
#include <vector>

namespace qtui {
namespace {

class QtToolkit;

std::atomic<QtToolkit*> currentToolkit{nullptr};

std::mutex& answererMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<DialogAnswer(const DialogView&)>& answerer() {
    static std::function<DialogAnswer(const DialogView&)> value;
    return value;
}

std::function<DialogAnswer(const DialogView&)> currentAnswerer() {
    std::lock_guard lock(answererMutex());
    return answerer();
}

int defaultAnswer(int style) {
    return (style & 0x0F) == ui::kMbYesNo ? ui::kAnswerNo : ui::kAnswerOk;
}

// Line breaks as the program keeps them inside (CR LF) from whatever the clipboard holds, and back to LF for it.
std::string fromPlatformText(const QString& text) {
    QString converted = text;
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    converted.replace('\r', '\n');
    return toModelText(converted);
}

class QtToolkit final : public ui::Toolkit {
public:
    QtToolkit(int& argc, char** argv) : app_(std::make_unique<QApplication>(argc, argv)) {
        QApplication::setQuitOnLastWindowClosed(false);
        // The windows ask for the Windows face; this CJK sans face stands in for it.
        QFont::insertSubstitution(QString::fromUtf8(ui::kWindowFontFace), QStringLiteral("WenQuanYi Micro Hei"));
        QFont font = QApplication::font();
        font.setFamilies({QString::fromUtf8(ui::kWindowFontFace), font.family()});
        QApplication::setFont(font);
        // Qt's own dialogs speak the program's language when the translations are installed.
        auto* translator = new QTranslator(app_.get());
        if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(translator);
        context_ = new QObject(app_.get());
        currentToolkit.store(this);
    }

    ~QtToolkit() override {
        currentToolkit.store(nullptr);
        for (auto& [model, widget] : windows_) {
            model->detach();
            widget->release();
            delete widget;
        }
        windows_.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete context_;
        app_.reset();
    }

    void post(std::function<void()> task) override {
        QMetaObject::invokeMethod(
            context_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
    }

    bool onUiThread() const override { return QThread::currentThread() == app_->thread(); }

    int run() override { return QApplication::exec(); }

    void quit(int code) override {
        QMetaObject::invokeMethod(
            context_, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    }

    void realize(const std::shared_ptr<ui::Window>& window) override {
        auto* widget = new RealizedWindow(window);
        windows_.emplace_back(window.get(), widget);
        // Changes may come from any thread; they reach the widget in order through its queue. The widget exists as
        // long as the observer is attached (unrealize detaches before it deletes).
        const auto state = window->attach([widget](const ui::Change& change) {
            QMetaObject::invokeMethod(
                widget, [widget, change] { widget->apply(change); }, Qt::QueuedConnection);
        });
        widget->start(state);
    }

    void unrealize(ui::Window& window) override {
        window.detach();
        for (auto it = windows_.begin(); it != windows_.end(); ++it) {
            if (it->first != &window)
                continue;
            RealizedWindow* widget = it->second;
            windows_.erase(it);
            widget->release();
            widget->hide();
            // Later, from the event loop: a dialog of this window may still be unwinding its own loop.
            widget->deleteLater();
            return;
        }
    }

    int messageBox(const ui::MessageBoxRequest& request) override {
        return onGuiThread<int>([this, request] { return showMessageBox(request); }, defaultAnswer(request.style));
    }

    std::string pickFolder(const std::string& title, const std::string& owner) override {
        return onGuiThread<std::string>([this, title, owner] { return showFolderDialog(title, owner); }, {});
    }

    std::string clipboardText() override {
        return onGuiThread<std::string>([] { return fromPlatformText(QGuiApplication::clipboard()->text()); }, {});
    }

    void setClipboardText(const std::string& text) override {
        onGuiThread<int>(
            [text] {
                QGuiApplication::clipboard()->setText(toWidgetText(text));
                return 0;
            },
            0);
    }

    bool screenshot(const std::string& windowName, const std::string& pngPath) {
        return onGuiThread<bool>(
            [this, windowName, pngPath] {
                RealizedWindow* widget = find(windowName);
                return widget != nullptr && widget->grab().save(QString::fromStdString(pngPath), "PNG");
            },
            false);
    }

private:
    // Runs the function on the GUI thread and waits for its answer; the fallback when Qt drops the call unrun.
    template <typename T> T onGuiThread(std::function<T()> function, T fallback) {
        if (onUiThread())
            return function();
        auto promise = std::make_shared<std::promise<T>>();
        std::future<T> answer = promise->get_future();
        QMetaObject::invokeMethod(
            context_, [promise, function] { promise->set_value(function()); }, Qt::QueuedConnection);
        try {
            return answer.get();
        } catch (const std::future_error&) {
            return fallback;
        }
    }

    RealizedWindow* find(const std::string& name) const {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
            if (it->first->name() == name)
                return it->second;
        }
        return nullptr;
    }

    int showMessageBox(const ui::MessageBoxRequest& request) {
        QWidget* owner = request.owner.empty() ? nullptr : find(request.owner);
        QPointer<QMessageBox> box = new QMessageBox(owner);
        box->setWindowTitle(QString::fromStdString(request.title));
        box->setTextFormat(Qt::PlainText);
        box->setText(toWidgetText(request.text));
        box->setWindowModality(Qt::ApplicationModal);

        DialogView view;
        view.title = request.title;
        view.text = toWidgetText(request.text).toStdString();
        view.owner = owner != nullptr ? request.owner : std::string();
        view.applicationModal = true;
        switch (request.style & 0xF0) {
        case ui::kMbIconError:
            box->setIcon(QMessageBox::Critical);
            view.icon = "critical";
            break;
        case 0x20:
            box->setIcon(QMessageBox::Question);
            view.icon = "question";
            break;
        case 0x30:
            box->setIcon(QMessageBox::Warning);
            view.icon = "warning";
            break;
        case ui::kMbIconInformation:
            box->setIcon(QMessageBox::Information);
            view.icon = "information";
            break;
        default:
            box->setIcon(QMessageBox::NoIcon);
            break;
        }
        const bool yesNo = (request.style & 0x0F) == ui::kMbYesNo;
        if (yesNo) {
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::Yes);
            box->button(QMessageBox::Yes)->setText(QString::fromUtf8("是(&Y)"));
            box->button(QMessageBox::No)->setText(QString::fromUtf8("否(&N)"));
            view.buttons = {ui::kAnswerYes, ui::kAnswerNo};
        } else {
            box->setStandardButtons(QMessageBox::Ok);
            box->button(QMessageBox::Ok)->setText(QString::fromUtf8("确定"));
            view.buttons = {ui::kAnswerOk};
        }

        if (auto answer = currentAnswerer()) {
            QTimer::singleShot(0, box, [box, answer, view] {
                const int button = answer(view).button;
                const QMessageBox::StandardButton pressed = button == ui::kAnswerYes  ? QMessageBox::Yes
                                                            : button == ui::kAnswerNo ? QMessageBox::No
                                                                                      : QMessageBox::Ok;
                if (QAbstractButton* shown = box->button(pressed))
                    shown->click();
                else
                    box->reject();
            });
        }
        box->exec();
        if (box.isNull())
            return defaultAnswer(request.style);
        const QMessageBox::StandardButton pressed = box->standardButton(box->clickedButton());
        delete box;
        if (!yesNo)
            return ui::kAnswerOk;
        return pressed == QMessageBox::Yes ? ui::kAnswerYes : ui::kAnswerNo;
    }

    std::string showFolderDialog(const std::string& title, const std::string& ownerName) {
        QWidget* owner = ownerName.empty() ? nullptr : find(ownerName);
        QPointer<QFileDialog> dialog = new QFileDialog(owner, QString::fromStdString(title));
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setWindowModality(Qt::ApplicationModal);

        std::string answered;
        if (auto answer = currentAnswerer()) {
            DialogView view;
            view.folder = true;
            view.title = title;
            view.owner = owner != nullptr ? ownerName : std::string();
            view.applicationModal = true;
            QTimer::singleShot(0, dialog, [dialog, answer, view, &answered] {
                answered = answer(view).folder;
                if (answered.empty())
                    dialog->reject();
                else
                    static_cast<QDialog*>(dialog.data())->done(QDialog::Accepted);
            });
            const int result = dialog->exec();
            delete dialog;
            return result == QDialog::Accepted ? answered : std::string();
        }
        const int result = dialog->exec();
        if (dialog.isNull() || result != QDialog::Accepted)
            return {};
        const QStringList chosen = dialog->selectedFiles();
        delete dialog;
        return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
    }

    std::unique_ptr<QApplication> app_;
    QObject* context_ = nullptr;
    std::vector<std::pair<ui::Window*, RealizedWindow*>> windows_;
};

} // namespace

std::unique_ptr<ui::Toolkit> makeQtToolkit(int& argc, char** argv) {
    return std::make_unique<QtToolkit>(argc, argv);
}

bool saveScreenshot(const std::string& windowName, const std::string& pngPath) {
    QtToolkit* toolkit = currentToolkit.load();
    return toolkit != nullptr && toolkit->screenshot(windowName, pngPath);
}

void setDialogAnswerer(std::function<DialogAnswer(const DialogView&)> function) {
    std::lock_guard lock(answererMutex());
    answerer() = std::move(function);
}

} // namespace qtui
