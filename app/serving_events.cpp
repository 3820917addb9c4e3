#include "app/serving_events.h"

#include <vector>

namespace kadro {
namespace {

std::vector<ServingObserver*>& observers() {
    static std::vector<ServingObserver*> registered;
    return registered;
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

const std::vector<ServingObserver*>& ServingObservers() {
    return observers();
}

bool ServingObserved() {
    return !observers().empty();
}

}  // namespace kadro
