#include "comm/open_failure.h"

#include <utility>

namespace kadro {
namespace {

std::optional<platform::SerialOpenFailure>& last_failure() {
    thread_local std::optional<platform::SerialOpenFailure> failure;
    return failure;
}

}  // namespace

std::optional<platform::SerialOpenFailure> GetCommOpenFailure() {
    return last_failure();
}

void SetCommOpenFailure(std::optional<platform::SerialOpenFailure> failure) {
    last_failure() = std::move(failure);
}

}  // namespace kadro
