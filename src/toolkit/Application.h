// The application object: title, the single idle-handler slot, activation
// notifications and the default error reports.
//
// The message loop is Qt's. The idle step is taken whenever the event
// dispatcher is about to block: the idle handler runs with a done flag set
// to true; a handler that clears it wants to run again as soon as the queue
// is empty. A handler may also say when it next has work (WakeIdleAfter), so
// the loop sleeps until then instead of spinning.
#pragma once

#include <QApplication>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Exception;

class TApplication : public QApplication {
public:
    using IdleHandler = std::function<void(bool& done)>;
    using ActivationHook = std::function<void(bool activated)>;

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }

    // The single idle-handler slot: setting a handler replaces the previous one.
    void SetOnIdle(IdleHandler handler);
    void ClearOnIdle() { SetOnIdle(nullptr); }
    bool HasIdleHandler() const { return static_cast<bool>(onIdle_); }

    // Called by an idle handler that cleared the done flag: the next idle step
    // is needed after `milliseconds`, not before. Without it the loop spins.
    void WakeIdleAfter(std::uint32_t milliseconds);

    // Runs one idle step now, as the loop would (tests and message pumps).
    void DoIdle();

    // Application activation, following the window system's state. Hooks are
    // called in the order they were added; the returned id removes one.
    int AddActivationHook(ActivationHook hook);
    void RemoveActivationHook(int id);
    bool Active() const { return active_; }
    // Forces the active state and notifies hooks on change (tests, and
    // platforms that report no activation).
    void SetActive(bool active);

    // Processes pending events without waiting, then runs the idle step once.
    void ProcessMessages();

    // The default report of an error that escaped an event handler: a box
    // captioned with the title, error icon, message plus a period when its
    // last character sorts after '.'.
    void HandleException(const std::exception& error);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void OnAboutToBlock();
    void OnStateChanged(Qt::ApplicationState state);

    std::string title_;
    IdleHandler onIdle_;
    bool inIdle_ = false;
    bool wantsWake_ = false;
    std::uint32_t wakeAfter_ = 0;
    bool active_ = false;
    QTimer wakeTimer_;
    std::vector<std::pair<int, ActivationHook>> activationHooks_;
    int nextHookId_ = 1;
};

// The one application object, or null before it is made.
extern TApplication* Application;

// The text of the default error report for a message.
std::string HandlerErrorText(const std::string& message);

// The text of the start-up error report:
// "Exception %s in module %s at %p.\n%s%s".
std::string StartupErrorText(const std::exception& error, const std::string& moduleName,
                             const void* address);

// Shows the "Application Error" box for an error during start-up.
void ShowStartupError(const std::exception& error);

// Reports an exception that escaped an event handler (routes to the
// application's HandleException, or to a plain box when there is none).
void ReportHandlerException(const std::exception& error);
