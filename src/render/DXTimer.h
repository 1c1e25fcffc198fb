// The frame timer: calls OnTimer at most once every Interval milliseconds
// while enabled, from the application's idle step (never from inside another
// handler). With ActiveOnly it pauses while the application is inactive.
//
// Unlike a polling loop, the tick routine tells the application when the
// next tick is due, so the process sleeps between ticks.
#pragma once

#include "toolkit/Component.h"

#include <cstdint>
#include <functional>

class TCustomDXTimer : public TComponent {
public:
    using TNotifyEvent = std::function<void(TCustomDXTimer* sender)>;
    using TTimerEvent = std::function<void(TCustomDXTimer* sender, std::int32_t lagCount)>;

    explicit TCustomDXTimer(TComponent* owner = nullptr);
    ~TCustomDXTimer() override;

    bool ActiveOnly() const { return activeOnly_; }
    void SetActiveOnly(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    std::int32_t Interval() const { return interval_; }
    void SetInterval(std::int32_t value);
    std::int32_t TickDivisor() const { return tickDivisor_; }
    std::int32_t MaxLag() const { return maxLag_; }
    void SetMaxLag(std::int32_t value) { maxLag_ = value; }
    bool Armed() const { return armed_; }
    std::uint32_t LastTick() const { return lastTick_; }

    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TTimerEvent OnTimer;

    // The tick routine, as the idle step calls it (public for tests).
    void AppOnIdle(bool& done);

protected:
    void Loaded() override;
    virtual void DoActivate();
    virtual void DoDeactivate();
    virtual void DoTimer(std::int32_t lagCount);

private:
    void Start();
    void Stop();
    void Attach();
    void Detach();
    void OnActivation(bool activated);
    bool ApplicationActive() const;

    bool activeOnly_ = true;
    bool enabled_ = true;
    std::int32_t interval_ = 1000;
    std::int32_t tickDivisor_ = 1000;
    std::int32_t maxLag_ = 10;
    bool armed_ = false;
    bool attached_ = false;
    std::uint32_t lastTick_ = 0;
    int activationHookId_ = 0;
};

class TDXTimer : public TCustomDXTimer {
public:
    using TCustomDXTimer::TCustomDXTimer;
};
