#include "app/idle_policy.h"

namespace quipix {

void IdlePolicy::Idle() {
    idle_ = true;
    TryStart();
}

void IdlePolicy::Active() {
    idle_ = false;
    served_ = false;
}

void IdlePolicy::TimerFired() {
    held_ = false;
    TryStart();
}

void IdlePolicy::SaverEnded() {
    if (!running_) return;
    running_ = false;
    host_.ActiveChanged(false);
}

void IdlePolicy::Start() {
    if (running_ || !host_.StartSaver()) return;
    running_ = true;
    served_ = true;
    host_.ActiveChanged(true);
}

void IdlePolicy::TryStart() {
    if (!idle_ || served_ || running_ || held_ || Inhibited()) return;
    // The desktop's inhibitors have no end signal we listen to: asked again after
    // another idle time.
    if (host_.DesktopInhibits()) return Hold();
    Start();
}

void IdlePolicy::Hold() {
    held_ = true;
    host_.ArmTimer(idleMs_);
}

std::uint32_t IdlePolicy::Inhibit(const std::string& owner) {
    const std::uint32_t cookie = nextCookie_++;
    inhibitions_[cookie] = owner;
    return cookie;
}

bool IdlePolicy::UnInhibit(std::uint32_t cookie) {
    if (inhibitions_.erase(cookie) == 0) return false;
    InhibitionEnded();
    return true;
}

void IdlePolicy::OwnerGone(const std::string& owner) {
    const auto before = inhibitions_.size();
    std::erase_if(inhibitions_, [&](const auto& entry) { return entry.second == owner; });
    if (inhibitions_.size() != before) InhibitionEnded();
}

void IdlePolicy::InhibitionEnded() {
    if (!Inhibited()) Hold();
}

void IdlePolicy::SetActive(bool active) {
    if (active) {
        held_ = false;
        Start();
    } else if (running_) {
        host_.StopSaver();
    }
}

void IdlePolicy::SimulateUserActivity() {
    served_ = false;
    if (running_) host_.StopSaver();
    Hold();
}

}  // namespace quipix
