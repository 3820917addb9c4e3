#include "bench/e2e/reference_server.h"

#include <termios.h>

#include <chrono>
#include <thread>

#include "bench/e2e/remote_side.h"
#include "testing/pty_pair.h"

namespace kadro::bench {

std::string BenchImage() {
    std::string image(kTrack * kTracks, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 13 + i / kTrack);
    }
    return image;
}

void AnswerTrack(int fd, std::string_view track) {
    write_all(fd, std::string{protocol::kLeadIn});
    ::tcdrain(fd);
    std::this_thread::sleep_for(protocol::kLeadInPause);
    write_all(fd, track);
    ::tcdrain(fd);
}

void ServeReference(int fd, std::string_view image) {
    char command = 0;
    for (std::size_t k = 0; k < kTracks; ++k) {
        do {
            read_some(fd, &command, 1);
        } while (command != protocol::kTrackRequest);
        AnswerTrack(fd, image.substr(k * kTrack, kTrack));
    }
}

ReferenceRun RunReference(std::string_view image) {
    test::PtyPair line;
    const auto start = std::chrono::steady_clock::now();
    std::thread server([&] { ServeReference(line.slave(), image); });
    ReferenceRun run;
    run.latencies = fetch_tracks(line.master(), kTracks);
    server.join();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

}  // namespace kadro::bench
