#pragma once
// Runs the whole program in this process, headless, in a scratch folder: a display that answers
// the file chooser and the message boxes and records what the windows showed, a pseudo-terminal
// whose near end is the configured port, and a remote machine played by a thread on the far end.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "app/main_program.h"
#include "comm/serial_port.h"
#include "platform/edit_control.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "support/program_lifecycle.h"
#include "testing/headless_test_display.h"
#include "testing/pty_pair.h"
#include "testing/scratch_folder.h"

namespace kadro::test {

class ProgramDisplay : public HeadlessTestDisplay {
  public:
    using HeadlessTestDisplay::HeadlessTestDisplay;

    std::optional<std::vector<std::string>> choose_files(
        const platform::FileChooserRequest& request) override {
        chooser_requests.push_back(request);
        if (!image) {
            return std::nullopt;
        }
        return std::vector<std::string>{*image};
    }

    void window_changed(platform::HWND hwnd) override {
        platform::EditSnapshot snapshot;
        if (platform::GetEditSnapshot(hwnd, &snapshot)) {
            log_text = snapshot.text;
            if (!log_text.empty()) {
                serving = true;
            }
        } else if (platform::GetParent(hwnd) == 0) {
            captions[hwnd] = platform::GetStoredWindowText(hwnd);
        }
    }

    void window_shown(platform::HWND hwnd) override {
        platform::MessageBoxContent content;
        if (platform::GetParent(hwnd) != 0 || platform::GetMessageBoxContent(hwnd, &content)) {
            return;
        }
        main_window_shown = true;
        main_caption = platform::GetStoredWindowText(hwnd);
        platform::RECT rect;
        platform::GetWindowRect(hwnd, &rect);
        main_rect = rect;
        if (on_main_shown) {
            on_main_shown(hwnd);
        }
    }

    // Escape as the command loop's polls see it: while escape_polls_held is above 0, each poll
    // of the key finds it down and uses one up; after that the key is as set or injected. No key
    // message goes with it, so only the loop's polls, not the window, see such a press.
    std::optional<bool> key_down(int virtual_key) const override {
        if (virtual_key != platform::VK_ESCAPE) {
            return std::nullopt;
        }
        int left = escape_polls_held.load();
        while (left > 0 && !escape_polls_held.compare_exchange_weak(left, left - 1)) {
        }
        return left > 0 ? std::optional<bool>(true) : std::nullopt;
    }

    mutable std::atomic<int> escape_polls_held{0};
    std::optional<std::string> image;
    std::vector<platform::FileChooserRequest> chooser_requests;
    std::map<platform::HWND, std::string> captions;
    std::string log_text;
    // Set on the interface thread once the command loop has logged its first line; the far end
    // waits for it, since bytes that arrive before the window is registered for notifications
    // stay in the receive ring until a further byte comes.
    std::atomic<bool> serving{false};
    bool main_window_shown = false;
    std::string main_caption;
    platform::RECT main_rect{};
    std::function<void(platform::HWND)> on_main_shown;
};

class ProgramTest : public ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        m_script = std::make_shared<BoxScript>();
        auto display = std::make_unique<ProgramDisplay>(m_script);
        m_display = display.get();
        platform::AttachDisplay(std::move(display));
        ResetProgramLifecycle();
    }

    void TearDown() override {
        platform::SetAsyncKeyState(platform::VK_ESCAPE, false);
        platform::SetAsyncKeyState(platform::VK_F4, false);
        platform::SetAsyncKeyState(platform::VK_MENU, false);
        platform::AttachDisplay(nullptr);
        ScratchFolder::TearDown();
    }

    // Writes the image and names it as the chooser's answer.
    std::string use_image(const std::string& bytes, const std::string& name = "image.vks") {
        const std::string path = m_dir + "/" + name;
        spit(path, bytes);
        m_display->image = path;
        return path;
    }

    void write_settings(const std::string& port) {
        spit("KADRO.INI", "[Impostazioni]\r\nPorta=" + port + "\r\n");
    }

    // A run that serves `image` (the chooser's answer, saved as `name`) on a fresh
    // pseudo-terminal named in the settings; returns the terminal's far end.
    PtyPair& set_up_run(const std::string& image, const std::string& name = "image.vks") {
        use_image(image, name);
        m_pty.emplace();
        write_settings(m_pty->path());
        return *m_pty;
    }

    // True when the run's port can be opened again: the program let it go.
    bool port_is_free() const {
        const PortHandle again = OPENCOMM(m_pty->path());
        CLOSECOMM(again);
        return again >= 0;
    }

    // Waits on the far end's thread until the program is serving.
    void wait_until_serving() const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!m_display->serving && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // Runs the program on this thread while `remote` plays the far end on another. Once the far
    // end is done the program must end by itself within kEndWithin; otherwise the test fails
    // and the far end presses Escape until the window closes, so that a program that missed
    // its end does not hold the run until CTest's time-out.
    int run_with_remote(const std::function<void()>& remote, const ProgramOptions& options = {}) {
        std::atomic<bool> ended{false};
        std::thread far_end([&] {
            remote();
            if (!wait_for(ended, kEndWithin)) {
                ADD_FAILURE() << "the program did not end within " << kEndWithin.count()
                              << " s after the far end was done";
                close_with_escape(ended);
            }
        });
        int code = RunProgram(options);
        ended = true;
        far_end.join();
        return code;
    }

    // run_with_remote for a far end that starts once the program is serving.
    int serve(const std::function<void()>& remote) {
        return run_with_remote([&] {
            wait_until_serving();
            remote();
        });
    }

    static constexpr std::chrono::seconds kEndWithin{10};

    static bool wait_for(const std::atomic<bool>& flag, std::chrono::seconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!flag && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return flag;
    }

    static void close_with_escape(const std::atomic<bool>& ended) {
        auto deadline = std::chrono::steady_clock::now() + kEndWithin;
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            platform::InjectKeyDown(platform::VK_ESCAPE, 27);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            platform::InjectKeyUp(platform::VK_ESCAPE);
        }
        if (!ended) {
            std::fprintf(stderr, "the program did not end even on Escape; giving up\n");
            std::_Exit(1);
        }
    }

    std::optional<PtyPair> m_pty;
    std::shared_ptr<BoxScript> m_script;
    ProgramDisplay* m_display = nullptr;
};

}  // namespace kadro::test
