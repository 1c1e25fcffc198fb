#include "render/DXTimer.h"

#include "platform/os/Clock.h"
#include "toolkit/Application.h"

#include <algorithm>

TCustomDXTimer::TCustomDXTimer(TComponent* owner) : TComponent(owner) {
    interval_ = -1;  // make the setter see a change
    SetInterval(1000);
    if (Application)
        activationHookId_ =
            Application->AddActivationHook([this](bool activated) { OnActivation(activated); });
}

TCustomDXTimer::~TCustomDXTimer() {
    Stop();
    if (Application && activationHookId_ != 0) Application->RemoveActivationHook(activationHookId_);
}

bool TCustomDXTimer::ApplicationActive() const { return Application && Application->Active(); }

void TCustomDXTimer::AppOnIdle(bool& done) {
    done = false;
    std::uint32_t now = os::timeGetTime();
    // The difference is taken in 32 bits so that a clock wrap between two
    // ticks still gives the right elapsed time.
    auto elapsed = static_cast<std::int32_t>(now - lastTick_);
    if (elapsed < interval_) {
        if (Application) Application->WakeIdleAfter(std::uint32_t(interval_ - elapsed));
        return;
    }
    lastTick_ = now;
    std::int32_t lagCount = std::max(elapsed / tickDivisor_, std::int32_t{1});
    // MaxLag only records the largest lag seen; it does not bound LagCount.
    if (maxLag_ > 0 && lagCount > maxLag_) maxLag_ = lagCount;
    if (Application) Application->WakeIdleAfter(std::uint32_t(interval_));
    DoTimer(lagCount);
}

void TCustomDXTimer::Attach() {
    lastTick_ = os::timeGetTime();
    attached_ = true;
    if (Application) Application->SetOnIdle([this](bool& done) { AppOnIdle(done); });
}

void TCustomDXTimer::Detach() {
    attached_ = false;
    if (Application) Application->ClearOnIdle();
}

void TCustomDXTimer::Start() {
    Stop();
    if (!activeOnly_ || ApplicationActive()) Attach();
    armed_ = true;
}

void TCustomDXTimer::Stop() {
    if (!armed_) return;
    Detach();
    armed_ = false;
}

void TCustomDXTimer::OnActivation(bool activated) {
    if (activated) {
        DoActivate();
        if (armed_ && activeOnly_) Attach();
    } else {
        DoDeactivate();
        if (armed_ && activeOnly_) Detach();
    }
}

void TCustomDXTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (Loading()) return;  // Loaded() starts it
    if (value)
        Start();
    else
        Stop();
}

void TCustomDXTimer::SetInterval(std::int32_t value) {
    if (value == interval_) return;
    interval_ = std::max(value, std::int32_t{0});
    tickDivisor_ = std::max(value, std::int32_t{1});
}

void TCustomDXTimer::SetActiveOnly(bool value) {
    if (value == activeOnly_) return;
    activeOnly_ = value;
    if (activeOnly_ && armed_ && !ApplicationActive()) Detach();
}

void TCustomDXTimer::Loaded() {
    if (!Designing() && enabled_) Start();
}

void TCustomDXTimer::DoActivate() {
    if (OnActivate) OnActivate(this);
}

void TCustomDXTimer::DoDeactivate() {
    if (OnDeactivate) OnDeactivate(this);
}

void TCustomDXTimer::DoTimer(std::int32_t lagCount) {
    if (OnTimer) OnTimer(this, lagCount);
}
