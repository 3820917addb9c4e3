#pragma once
// Runs the whole program in this process, headless: a display that answers the file chooser and
// the message boxes and records what the windows showed, a pseudo-terminal whose near end is the
// configured port, and a remote machine played by a thread on the far end.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "../serial/pty_pair.h"
#include "../support_headless/headless_test_display.h"
#include "app/main_program.h"
#include "platform/edit_control.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "support/program_lifecycle.h"

namespace kadro::test {

class ProgramDisplay : public kadro::testing::HeadlessTestDisplay {
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

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        m_dir = std::filesystem::temp_directory_path() /
                ("kadro-program-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        std::filesystem::current_path(m_dir);
        m_script = std::make_shared<kadro::testing::BoxScript>();
        auto display = std::make_unique<ProgramDisplay>(m_script);
        m_display = display.get();
        platform::AttachDisplay(std::move(display));
        ResetProgramLifecycleForTesting();
    }

    void TearDown() override {
        platform::SetAsyncKeyState(platform::VK_ESCAPE, false);
        platform::SetAsyncKeyState(platform::VK_F4, false);
        platform::SetAsyncKeyState(platform::VK_MENU, false);
        platform::AttachDisplay(nullptr);
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_dir);
    }

    // Writes the image and names it as the chooser's answer.
    std::string use_image(const std::string& bytes) {
        std::filesystem::path path = m_dir / "image.vks";
        std::ofstream(path, std::ios::binary) << bytes;
        m_display->image = path.string();
        return path.string();
    }

    void write_settings(const std::string& port) {
        std::ofstream(m_dir / "KADRO.INI", std::ios::binary)
            << "[Impostazioni]\r\nPorta=" << port << "\r\n";
    }

    std::string settings_file() const {
        std::ifstream in(m_dir / "KADRO.INI", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Waits on the far end's thread until the program is serving.
    void wait_until_serving() const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!m_display->serving && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // Runs the program on this thread while `remote` plays the far end on another.
    int run_with_remote(const std::function<void()>& remote) {
        std::thread far_end(remote);
        int code = RunProgram();
        far_end.join();
        return code;
    }

    std::filesystem::path m_previous;
    std::filesystem::path m_dir;
    std::shared_ptr<kadro::testing::BoxScript> m_script;
    ProgramDisplay* m_display = nullptr;
};

}  // namespace kadro::test
