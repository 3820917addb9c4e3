#include "app/serving_events.h"

#include <vector>

namespace kadro {
namespace {

std::vector<ServingObserver*>& observers() {
    static std::vector<ServingObserver*> registered;
    return registered;
}

template <typename Call>
void tell_all(Call call) {
    for (ServingObserver* observer : observers()) {
        call(*observer);
    }
}

}  // namespace

ServingObservation& ServingObservation::operator=(ServingObservation&& other) noexcept {
    if (this != &other) {
        reset();
        m_observer = std::exchange(other.m_observer, nullptr);
    }
    return *this;
}

void ServingObservation::reset() {
    if (m_observer != nullptr) {
        std::erase(observers(), std::exchange(m_observer, nullptr));
    }
}

ServingObservation ObserveServing(ServingObserver& observer) {
    observers().push_back(&observer);
    return ServingObservation(&observer);
}

bool ServingObserved() {
    return !observers().empty();
}

void NotifyImage(const ImageEvent& event) {
    tell_all([&](ServingObserver& observer) { observer.on_image(event); });
}

void NotifyPort(const PortEvent& event) {
    tell_all([&](ServingObserver& observer) { observer.on_port(event); });
}

void NotifyCommand(char byte) {
    tell_all([&](ServingObserver& observer) { observer.on_command(byte); });
}

void NotifyWait() {
    tell_all([](ServingObserver& observer) { observer.on_wait(); });
}

void NotifyTrack(const TrackEvent& event) {
    tell_all([&](ServingObserver& observer) { observer.on_track(event); });
}

void NotifyStopByte(bool sent) {
    tell_all([&](ServingObserver& observer) { observer.on_stop_byte(sent); });
}

void NotifyEndRequest() {
    tell_all([](ServingObserver& observer) { observer.on_end_request(); });
}

void NotifyLineFault(const LineFaultEvent& event) {
    tell_all([&](ServingObserver& observer) { observer.on_line_fault(event); });
}

void NotifyEnd() {
    tell_all([](ServingObserver& observer) { observer.on_end(); });
}

}  // namespace kadro
