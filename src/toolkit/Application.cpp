#include "toolkit/Application.h"

#include "toolkit/Exceptions.h"
#include "toolkit/MessageBox.h"

#include <QAbstractEventDispatcher>
#include <QFileInfo>

#include <cstdio>
#include <typeinfo>

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    Application = this;
    wakeTimer_.setSingleShot(true);
    wakeTimer_.setTimerType(Qt::PreciseTimer);
    // The timeout itself does nothing: waking the loop is enough, the idle
    // step follows when the queue is empty again.
    connect(&wakeTimer_, &QTimer::timeout, this, [] {});
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TApplication::OnAboutToBlock);
    connect(this, &QGuiApplication::applicationStateChanged, this, &TApplication::OnStateChanged);
    active_ = applicationState() == Qt::ApplicationActive;
}

TApplication::~TApplication() {
    if (Application == this) Application = nullptr;
}

void TApplication::SetOnIdle(IdleHandler handler) {
    onIdle_ = std::move(handler);
    wakeTimer_.stop();
    if (onIdle_) wakeTimer_.start(0);  // make sure the new handler gets its first step
}

void TApplication::WakeIdleAfter(std::uint32_t milliseconds) {
    wantsWake_ = true;
    wakeAfter_ = milliseconds;
}

void TApplication::DoIdle() {
    if (!onIdle_ || inIdle_) return;
    inIdle_ = true;
    bool done = true;
    wantsWake_ = false;
    try {
        IdleHandler handler = onIdle_;  // the handler may replace the slot
        handler(done);
    } catch (const std::exception& error) {
        HandleException(error);
    }
    inIdle_ = false;
    if (!done && onIdle_) {
        // Sleep until the handler's next due time, or go round again at once.
        wakeTimer_.start(wantsWake_ ? int(wakeAfter_) : 0);
    }
}

void TApplication::OnAboutToBlock() { DoIdle(); }

void TApplication::ProcessMessages() {
    processEvents(QEventLoop::AllEvents);
    sendPostedEvents();
}

int TApplication::AddActivationHook(ActivationHook hook) {
    int id = nextHookId_++;
    activationHooks_.emplace_back(id, std::move(hook));
    return id;
}

void TApplication::RemoveActivationHook(int id) {
    std::erase_if(activationHooks_, [id](const auto& entry) { return entry.first == id; });
}

void TApplication::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    auto hooks = activationHooks_;  // a hook may remove itself
    for (auto& [id, hook] : hooks) hook(active);
}

void TApplication::OnStateChanged(Qt::ApplicationState state) {
    SetActive(state == Qt::ApplicationActive);
}

void TApplication::HandleException(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    std::string message = own ? own->Message() : std::string(error.what());
    ShowMessageBox(HandlerErrorText(message), title_, MessageBoxIcon::Error);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        HandleException(error);
        return true;
    }
}

std::string HandlerErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

std::string StartupErrorText(const std::exception& error, const std::string& moduleName,
                             const void* address) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    std::string typeName = own ? own->ClassName() : "Exception";
    std::string message = own ? own->Message() : std::string(error.what());
    char addressText[32];
    std::snprintf(addressText, sizeof addressText, "%p", address);
    std::string text = "Exception " + typeName + " in module " + moduleName + " at " +
                       addressText + ".\n" + message;
    if (message.empty() || message.back() != '.') text += ".";
    return text;
}

void ShowStartupError(const std::exception& error) {
    std::string module = "install";
    if (QCoreApplication::instance())
        module = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    ShowMessageBox(StartupErrorText(error, module, &error), "Application Error",
                   MessageBoxIcon::Error);
}

void ReportHandlerException(const std::exception& error) {
    if (Application) {
        Application->HandleException(error);
        return;
    }
    const auto* own = dynamic_cast<const Exception*>(&error);
    ShowMessageBox(HandlerErrorText(own ? own->Message() : error.what()), "Install",
                   MessageBoxIcon::Error);
}
