#pragma once
// A headless display for tests that answers message boxes from a script.
//
// ScopedTestDisplay attaches a HeadlessTestDisplay for its lifetime (and goes back to the plain
// headless display afterwards). Each message box that comes up takes the next scripted answer:
//   BoxAnswer::button(id)   posts WM_COMMAND(id) to the box, as a click would;
//   BoxAnswer::key(vk)      injects a press and release of the key (it reaches the box's focus
//                           control, its default button when the box comes up);
//   BoxAnswer::run(action)  calls action(box) and leaves the rest to it.
// The content of every box shown is recorded, and so are beeps. A box that finds the script
// empty is counted in `unanswered` and closed with its default button, so that a test that
// forgot an answer fails instead of hanging.
//
// Only for the interface thread of a test; the script is not locked.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"

namespace kadro::test {

struct BoxAnswer {
    enum class Kind { Button, Key, Action };
    Kind kind = Kind::Button;
    int value = 0;
    std::uint32_t character = 0;
    std::function<void(platform::HWND)> action;

    static BoxAnswer button(int id) { return {Kind::Button, id, 0, {}}; }
    static BoxAnswer key(int virtual_key, std::uint32_t character = 0) {
        return {Kind::Key, virtual_key, character, {}};
    }
    static BoxAnswer run(std::function<void(platform::HWND)> action) {
        return {Kind::Action, 0, 0, std::move(action)};
    }
};

struct BoxScript {
    std::deque<BoxAnswer> answers;
    std::vector<platform::MessageBoxContent> shown;
    std::vector<std::pair<unsigned, unsigned>> beeps;  // frequency, duration
    int unanswered = 0;
};

class HeadlessTestDisplay : public platform::Display {
  public:
    explicit HeadlessTestDisplay(std::shared_ptr<BoxScript> script) : m_script(std::move(script)) {}

    void message_box_shown(platform::HWND box) override {
        platform::MessageBoxContent content;
        platform::GetMessageBoxContent(box, &content);
        m_script->shown.push_back(content);
        if (m_script->answers.empty()) {
            ++m_script->unanswered;
            platform::PostMessage(box, platform::WM_COMMAND,
                                  static_cast<platform::WPARAM>(content.default_button), 0);
            return;
        }
        BoxAnswer answer = std::move(m_script->answers.front());
        m_script->answers.pop_front();
        switch (answer.kind) {
            case BoxAnswer::Kind::Button:
                platform::PostMessage(box, platform::WM_COMMAND,
                                      static_cast<platform::WPARAM>(answer.value), 0);
                break;
            case BoxAnswer::Kind::Key:
                platform::InjectKeyDown(answer.value, answer.character);
                platform::InjectKeyUp(answer.value);
                break;
            case BoxAnswer::Kind::Action:
                answer.action(box);
                break;
        }
    }

    void beep(unsigned frequency_hz, unsigned duration_ms) override {
        m_script->beeps.emplace_back(frequency_hz, duration_ms);
    }

  private:
    std::shared_ptr<BoxScript> m_script;
};

class ScopedTestDisplay {
  public:
    ScopedTestDisplay() : m_script(std::make_shared<BoxScript>()) {
        platform::AttachDisplay(std::make_unique<HeadlessTestDisplay>(m_script));
    }
    ~ScopedTestDisplay() { platform::AttachDisplay(nullptr); }
    ScopedTestDisplay(const ScopedTestDisplay&) = delete;
    ScopedTestDisplay& operator=(const ScopedTestDisplay&) = delete;

    BoxScript& script() { return *m_script; }

  private:
    std::shared_ptr<BoxScript> m_script;
};

}  // namespace kadro::test
