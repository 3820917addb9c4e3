#include "bench/e2e/remote_side.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <stdexcept>
#include <string>

namespace kadro::bench {

using Clock = std::chrono::steady_clock;

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("write to the line failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::size_t read_some(int fd, char* buffer, std::size_t size, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
        throw std::runtime_error("the far end went quiet");
    }
    ssize_t n = ::read(fd, buffer, size);
    if (n <= 0) {
        throw std::runtime_error("read from the line failed");
    }
    return static_cast<std::size_t>(n);
}

std::vector<double> fetch_tracks(int fd, std::size_t count) {
    std::vector<double> latencies;
    std::vector<char> buffer(kTrack + 1);
    for (std::size_t k = 0; k < count; ++k) {
        auto start = Clock::now();
        write_all(fd, std::string{protocol::kTrackRequest});
        std::size_t got = read_some(fd, buffer.data(), 1);
        latencies.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (buffer[0] != protocol::kLeadIn) {
            throw std::runtime_error("a track request was not answered with 0x00");
        }
        while (got < kTrack + 1) {
            got += read_some(fd, buffer.data(), kTrack + 1 - got);
        }
    }
    return latencies;
}

NoiseAnswer answer_after_noise(int fd, std::size_t size) {
    std::string noise;
    for (std::size_t i = 0; noise.size() < size; ++i) {
        char c = static_cast<char>(i * 131 + 7);
        if (c != protocol::kTrackRequest && c != protocol::kEndOfService) {
            noise.push_back(c);
        }
    }
    auto noise_start = Clock::now();
    write_all(fd, noise);
    auto start = Clock::now();
    write_all(fd, std::string{protocol::kTrackRequest});
    char lead = 1;
    read_some(fd, &lead, 1, std::chrono::seconds(60));
    if (lead != protocol::kLeadIn) {
        throw std::runtime_error("the request after the noise was not answered with 0x00");
    }
    auto end = Clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            std::chrono::duration<double, std::milli>(end - noise_start).count()};
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    auto index = static_cast<std::size_t>(std::llround(p * static_cast<double>(values.size() - 1)));
    return values[index];
}

}  // namespace kadro::bench
