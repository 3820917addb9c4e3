#include "platform/fltk/screen_display.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_ask.H>
#include <FL/x.H>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "platform/edit_control.h"
#include "platform/file_chooser.h"
#include "platform/fltk/chooser_request.h"
#include "platform/fltk/key_map.h"
#include "platform/fltk/key_tracker.h"
#include "platform/fltk/painter.h"
#include "platform/fltk/scroll_bar.h"
#include "platform/message_queue.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"

namespace platform::fltk {
namespace {

// _MOTIF_WM_HINTS: which fields are set, the window functions and the decorations allowed.
constexpr long kMwmHintsFunctions = 1;
constexpr long kMwmHintsDecorations = 2;
constexpr long kMwmFuncMove = 4;
constexpr long kMwmDecorBorder = 2;
constexpr long kMwmDecorTitle = 8;

constexpr double kRepeatDelay = 0.4;
constexpr double kRepeatInterval = 0.05;
constexpr int kWheelLines = 3;

// A loop that polls again and again reads the X connection at most this often; a wait reads it
// at once.
constexpr std::chrono::milliseconds kPollInterval{2};
// Changes wait at most this long for drawing while the interface thread never rests.
constexpr std::chrono::milliseconds kPaintPatience{100};

// The keyboard as the program sees it: which presses count (KeyTracker), and whether the X
// server reports physical transitions (without them a release counts only where a window of the
// program hears it, or when the server's key map says so).
struct KeyInput {
    explicit KeyInput(KeyTracker::Report report) : tracker(std::move(report)) {}
    KeyTracker tracker;
    bool physical = false;
};

// Cleared on the interface thread when the wake-up written by another thread has been read.
std::atomic<bool> g_wake_pending{false};

void wake_read(void*) {
    g_wake_pending.store(false);
}

// One top-level window of the window system on the screen. It owns no state of the window
// system: it draws it and reports input.
class TopWindow final : public Fl_Double_Window {
  public:
    TopWindow(HWND hwnd, const FontMetrics& metrics, KeyInput& keys, RECT client)
        : Fl_Double_Window(client.left, client.top, client.width(), client.height()),
          m_hwnd(hwnd),
          m_metrics(metrics),
          m_keys(keys),
          m_geometry(client) {
        end();
        size_range(client.width(), client.height(), client.width(), client.height());
        // A close request of the window manager is not one of the program's ways to close.
        callback([](Fl_Widget*, void*) {});
    }
    ~TopWindow() override { Fl::remove_timeout(&TopWindow::repeat_scroll, this); }
    TopWindow(const TopWindow&) = delete;
    TopWindow& operator=(const TopWindow&) = delete;

    // Follows the window system's geometry and caption. Geometry is pushed only when the
    // window system changed it, so that a window manager's own placement is not fought.
    void sync(RECT client, const std::string& caption) {
        if (!(client == m_geometry)) {
            m_geometry = client;
            size_range(client.width(), client.height(), client.width(), client.height());
            resize(client.left, client.top, client.width(), client.height());
            if (shown()) {
                apply_window_manager_hints();
            }
        }
        std::string label_text = AnsiToUtf8(caption);
        if (label_text != m_caption) {
            m_caption = label_text;
            copy_label(m_caption.c_str());
        }
    }

    void show_now() {
        if (!shown()) {
            show();
            apply_window_manager_hints();
        } else if (!visible()) {
            show();
        }
    }

    enum class Repaint { Whole, Changes };

    // Marks for the next flush what the window system changed: the whole window, or the edit
    // controls in `edits`, each drawn from what it showed before where that can be done.
    void repaint(const std::set<HWND>& edits, Repaint what) {
        m_plans.clear();
        if (!shown()) {
            return;
        }
        if (what == Repaint::Whole || m_drawn.empty()) {
            redraw();
            return;
        }
        for (HWND edit : edits) {
            std::optional<EditView> view = CurrentEditView(edit);
            auto drawn = m_drawn.find(edit);
            if (!view && drawn == m_drawn.end()) {
                continue;  // neither shown before nor now
            }
            std::optional<EditRepaint> plan;
            if (view && drawn != m_drawn.end()) {
                plan = PlanEditRepaint(drawn->second, *view);
            }
            if (!plan) {
                m_plans.clear();
                redraw();
                return;
            }
            if (!plan->empty()) {
                m_plans.push_back({edit, std::move(*view), std::move(*plan)});
            }
        }
        for (const Planned& p : m_plans) {
            const RECT& a = p.plan.area;
            damage(FL_DAMAGE_USER1, a.left, a.top, a.width(), a.height());
        }
    }

    void draw() override {
        if (damage() == FL_DAMAGE_USER1 && !m_plans.empty()) {
            for (Planned& p : m_plans) {
                PaintEditRepaint(p.view, p.plan, m_metrics);
                m_drawn[p.edit] = std::move(p.view);
            }
        } else {
            EditViews drawn;
            PaintTopLevel(m_hwnd, m_metrics, &drawn);
            // Only a whole drawing tells what every part of the window shows.
            if ((damage() & FL_DAMAGE_ALL) != 0) {
                m_drawn = std::move(drawn);
            } else {
                m_drawn.clear();
            }
        }
        m_plans.clear();
    }

    int handle(int event) override {
        switch (event) {
            case FL_FOCUS:
            case FL_UNFOCUS:
            case FL_ENTER:
            case FL_LEAVE:
            case FL_MOVE:
                return 1;
            case FL_KEYDOWN:
            case FL_SHORTCUT:
                key_down();
                return 1;
            case FL_KEYUP:
                key_up();
                return 1;
            case FL_PUSH:
                push();
                return 1;
            case FL_DRAG:
                drag();
                return 1;
            case FL_RELEASE:
                release();
                return 1;
            case FL_MOUSEWHEEL:
                wheel();
                return 1;
            default:
                return Fl_Double_Window::handle(event);
        }
    }

  private:
    struct ThumbDrag {
        HWND edit = 0;
        int grab_offset = 0;  // pointer y minus thumb top at the press
    };
    struct Repeat {
        HWND edit = 0;
        ScrollPart part = ScrollPart::Outside;
    };

    void apply_window_manager_hints() {
        ::Display* x = fl_display;
        Window xid = fl_xid(this);
        if (x == nullptr || xid == 0) {
            return;
        }
        // Title bar and thin border; the window can be moved but not resized, minimised,
        // maximised or closed from its frame.
        long hints[5] = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove,
                         kMwmDecorBorder | kMwmDecorTitle, 0, 0};
        Atom motif = XInternAtom(x, "_MOTIF_WM_HINTS", False);
        XChangeProperty(x, xid, motif, motif, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(hints), 5);
        // The requested position is the client area's, whatever frame the manager adds.
        XSizeHints* size = XAllocSizeHints();
        if (size != nullptr) {
            long supplied = 0;
            XGetWMNormalHints(x, xid, size, &supplied);
            size->flags |= PMinSize | PMaxSize | PWinGravity | USPosition;
            size->min_width = size->max_width = m_geometry.width();
            size->min_height = size->max_height = m_geometry.height();
            size->x = m_geometry.left;
            size->y = m_geometry.top;
            size->win_gravity = StaticGravity;
            XSetWMNormalHints(x, xid, size);
            XFree(size);
        }
        XFlush(x);
    }

    bool accepts_input() const { return IsWindow(m_hwnd) && IsWindowEnabled(m_hwnd); }

    void key_down() {
        const int vk = VirtualKeyFromFltk(Fl::event_key());
        if (vk == 0) {
            return;
        }
        const char* text = Fl::event_text();
        std::uint32_t character = CharacterForKey(
            vk,
            text != nullptr ? std::string_view(text, static_cast<std::size_t>(Fl::event_length()))
                            : std::string_view(),
            {Fl::event_state(FL_CTRL) != 0, Fl::event_state(FL_ALT) != 0});
        // A press that came without an X key event cannot be followed to its release: it is
        // told as a message and leaves the key state alone.
        if (const unsigned code = key_code(); code != 0) {
            m_keys.tracker.press_in_window(code, vk);
        }
        InjectKeyDown(vk, character, KeyStateChange::Leave);
    }

    void key_up() {
        const int vk = VirtualKeyFromFltk(Fl::event_key());
        if (vk == 0) {
            return;
        }
        // With physical transitions reported, the release that counts is the physical one: a
        // release this window hears may be the server's imitation between two repeats.
        if (!m_keys.physical && key_code() != 0) {
            m_keys.tracker.physical_release(key_code());
        }
        InjectKeyUp(vk, KeyStateChange::Leave);
    }

    // The X key code of the key event being handled; 0 when none is.
    static unsigned key_code() {
        return fl_xevent != nullptr &&
                       (fl_xevent->type == KeyPress || fl_xevent->type == KeyRelease)
                   ? fl_xevent->xkey.keycode
                   : 0U;
    }

    static WPARAM mouse_keys(bool button_down) {
        WPARAM keys = button_down ? MK_LBUTTON : 0;
        if (Fl::event_state(FL_SHIFT) != 0) {
            keys |= MK_SHIFT;
        }
        if (Fl::event_state(FL_CTRL) != 0) {
            keys |= MK_CONTROL;
        }
        return keys;
    }

    void send_mouse(HWND target, UINT msg, bool button_down) {
        RECT client = ClientRectInTop(target);
        InjectMouse(target, msg, Fl::event_x() - client.left, Fl::event_y() - client.top,
                    mouse_keys(button_down));
    }

    static void post_scroll(HWND edit, WORD code, int position = 0) {
        PostMessage(edit, WM_VSCROLL, MAKELONG(code, static_cast<WORD>(position)), 0);
    }

    static WORD code_of(ScrollPart part) {
        switch (part) {
            case ScrollPart::LineUp:
                return SB_LINEUP;
            case ScrollPart::PageUp:
                return SB_PAGEUP;
            case ScrollPart::PageDown:
                return SB_PAGEDOWN;
            default:
                return SB_LINEDOWN;
        }
    }

    static void repeat_scroll(void* data) {
        auto* self = static_cast<TopWindow*>(data);
        const Repeat r = self->m_repeat;
        if (r.edit == 0 || Fl::event_buttons() == 0 || !IsWindow(r.edit)) {
            self->m_repeat = {};
            return;
        }
        post_scroll(r.edit, code_of(r.part));
        Fl::repeat_timeout(kRepeatInterval, &TopWindow::repeat_scroll, data);
    }

    // A press on an edit control's scroll bar scrolls it; true when the press was there.
    bool push_scroll_bar(HWND target) {
        std::optional<EditScrollBar> bar = FindEditScrollBar(target);
        if (!bar) {
            return false;
        }
        const POINT p{Fl::event_x(), Fl::event_y()};
        if (p.x < bar->rect.left || p.x >= bar->rect.right || p.y < bar->rect.top ||
            p.y >= bar->rect.bottom) {
            return false;
        }
        const int y = p.y - bar->rect.top;
        const ScrollPart part = ScrollPartAt(bar->layout, bar->rect.height(), y);
        switch (part) {
            case ScrollPart::Thumb:
                m_thumb = ThumbDrag{target, y - bar->layout.thumb_top};
                break;
            case ScrollPart::Outside:
                break;
            default:
                if (bar->layout.scrollable) {
                    post_scroll(target, code_of(part));
                    m_repeat = Repeat{target, part};
                    Fl::add_timeout(kRepeatDelay, &TopWindow::repeat_scroll, this);
                }
                break;
        }
        return true;
    }

    void push() {
        m_mouse_target = 0;
        if (Fl::event_button() != FL_LEFT_MOUSE || !accepts_input()) {
            return;
        }
        HWND target = WindowAt(m_hwnd, {Fl::event_x(), Fl::event_y()});
        if (!IsWindowEnabled(target)) {
            return;
        }
        if (push_scroll_bar(target)) {
            return;
        }
        m_mouse_target = target;
        send_mouse(target, Fl::event_clicks() > 0 ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, true);
    }

    void drag() {
        if (m_thumb.edit != 0) {
            std::optional<EditScrollBar> bar = FindEditScrollBar(m_thumb.edit);
            if (bar) {
                int top = Fl::event_y() - bar->rect.top - m_thumb.grab_offset;
                int line = LineForThumbTop(bar->layout, bar->state, top);
                if (line != bar->state.first_line) {
                    post_scroll(m_thumb.edit, SB_THUMBTRACK, line);
                }
            }
            return;
        }
        if (m_mouse_target != 0 && IsWindow(m_mouse_target)) {
            send_mouse(m_mouse_target, WM_MOUSEMOVE, true);
        }
    }

    void release() {
        Fl::remove_timeout(&TopWindow::repeat_scroll, this);
        m_repeat = {};
        if (m_thumb.edit != 0) {
            if (std::optional<EditScrollBar> bar = FindEditScrollBar(m_thumb.edit)) {
                post_scroll(m_thumb.edit, SB_THUMBPOSITION, bar->state.first_line);
            }
            post_scroll(m_thumb.edit, SB_ENDSCROLL);
            m_thumb = {};
            return;
        }
        if (m_mouse_target != 0 && IsWindow(m_mouse_target)) {
            send_mouse(m_mouse_target, WM_LBUTTONUP, false);
        }
        m_mouse_target = 0;
    }

    void wheel() {
        if (!accepts_input() || Fl::event_dy() == 0) {
            return;
        }
        HWND target = WindowAt(m_hwnd, {Fl::event_x(), Fl::event_y()});
        if (FindEditScrollBar(target)) {
            PostMessage(target, EM_LINESCROLL, 0, Fl::event_dy() * kWheelLines);
        }
    }

    struct Planned {
        HWND edit = 0;
        EditView view;
        EditRepaint plan;
    };

    HWND m_hwnd;
    const FontMetrics& m_metrics;
    KeyInput& m_keys;
    EditViews m_drawn;             // what the back buffer shows of each edit control
    std::vector<Planned> m_plans;  // drawing marked for the next flush
    RECT m_geometry;
    std::string m_caption;
    HWND m_mouse_target = 0;
    ThumbDrag m_thumb;
    Repeat m_repeat;
};

class ScreenDisplay final : public Display {
  public:
    ScreenDisplay()
        : m_ui_thread(std::this_thread::get_id()),
          m_keys([this](int vk, bool down) { report_key(vk, down); }) {
        m_metrics.load();
        m_code_keys.fill(-1);
        m_keys.physical = listen_to_physical_keys();
        Fl::add_system_handler(&ScreenDisplay::system_event, this);
    }
    ~ScreenDisplay() override {
        Fl::remove_system_handler(&ScreenDisplay::system_event);
        for (auto& [hwnd, window] : m_windows) {
            window->hide();
        }
        m_windows.clear();
    }
    ScreenDisplay(const ScreenDisplay&) = delete;
    ScreenDisplay& operator=(const ScreenDisplay&) = delete;

    RECT screen_rect() const override {
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        Fl::screen_xywh(x, y, w, h, 0);
        return {x, y, x + w, y + h};
    }

    // Dialog base units of the window system's font: 8 by 16, which makes 251 dialog units
    // 502 pixels whatever the toolkit's font measures.
    SIZE text_cell() const override { return {8, FontMetrics::kLineHeight}; }
    int text_width(const std::string& text) const override { return m_metrics.text_width(text); }

    // The toolkit is driven from the interface thread only; a change reported from elsewhere is
    // drawn with the next one from there. Changes are only noted here and drawn by paint().
    void window_shown(HWND hwnd) override {
        if (!on_ui_thread()) {
            return;
        }
        const HWND root = GetAncestorRoot(hwnd);
        if (root != hwnd) {
            note(root, hwnd);
            return;
        }
        TopWindow& window = top_window(hwnd);
        sync(hwnd, window);
        window.show_now();
        note(root, root);
    }

    void window_hidden(HWND hwnd) override {
        if (!on_ui_thread()) {
            return;
        }
        if (!take_down(hwnd, Release::No)) {
            note(GetAncestorRoot(hwnd), hwnd);
        }
    }

    void window_changed(HWND hwnd) override {
        if (!on_ui_thread()) {
            return;
        }
        note(GetAncestorRoot(hwnd), hwnd);
    }

    void window_destroyed(HWND hwnd) override {
        if (!on_ui_thread()) {
            return;
        }
        if (take_down(hwnd, Release::Yes)) {
            return;
        }
        // A child went away; its top-level window can no longer be found from it.
        for (auto& [top, window] : m_windows) {
            note(top, top);
        }
    }

    void message_box_shown(HWND hwnd) override {
        if (!on_ui_thread()) {
            return;
        }
        auto it = m_windows.find(hwnd);
        if (it != m_windows.end()) {
            it->second->show();  // raises it over its owner
        }
    }

    void poll() override {
        if (!on_ui_thread() || m_in_toolkit) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last_read < kPollInterval) {
            return;
        }
        InToolkit guard(m_in_toolkit);
        Fl::check();
        after_reading();
    }

    void paint(PaintTime when) override {
        if (!on_ui_thread() || m_in_toolkit || m_dirt.empty()) {
            return;
        }
        if (when == PaintTime::Busy &&
            std::chrono::steady_clock::now() - m_dirt_since < kPaintPatience) {
            return;
        }
        InToolkit guard(m_in_toolkit);
        for (auto& [root, dirt] : m_dirt) {
            auto it = m_windows.find(root);
            if (it == m_windows.end()) {
                continue;
            }
            if (dirt.geometry) {
                sync(root, *it->second);
            }
            it->second->repaint(
                dirt.edits, dirt.whole ? TopWindow::Repaint::Whole : TopWindow::Repaint::Changes);
        }
        m_dirt.clear();
        Fl::flush();
    }

    bool wait(std::chrono::milliseconds timeout) override {
        if (!on_ui_thread() || m_in_toolkit) {
            return false;
        }
        InToolkit guard(m_in_toolkit);
        Fl::wait(std::chrono::duration<double>(timeout).count());
        after_reading();
        return true;
    }

    void wake() override {
        // The interface thread is not waiting while it runs; other threads write at most one
        // wake-up into the toolkit's pipe until the interface thread has read it.
        if (on_ui_thread()) {
            return;
        }
        if (!g_wake_pending.exchange(true)) {
            Fl::awake(&wake_read, nullptr);
        }
    }

    void beep(unsigned frequency_hz, unsigned duration_ms) override {
        ::Display* x = fl_display;
        if (x == nullptr) {
            return;
        }
        XKeyboardState before{};
        XGetKeyboardControl(x, &before);
        XKeyboardControl tone{};
        tone.bell_pitch = static_cast<int>(frequency_hz);
        tone.bell_duration = static_cast<int>(duration_ms);
        XChangeKeyboardControl(x, KBBellPitch | KBBellDuration, &tone);
        XBell(x, 0);
        XKeyboardControl restore{};
        restore.bell_pitch = static_cast<int>(before.bell_pitch);
        restore.bell_duration = static_cast<int>(before.bell_duration);
        XChangeKeyboardControl(x, KBBellPitch | KBBellDuration, &restore);
        XFlush(x);
    }

    bool set_clipboard_text(const std::string& text) override {
        std::string utf8 = AnsiToUtf8(text);
        const int length = static_cast<int>(utf8.size());
        Fl::copy(utf8.c_str(), length, 1);
        Fl::copy(utf8.c_str(), length, 0);
        return true;
    }

    std::optional<std::vector<std::string>> choose_files(
        const FileChooserRequest& request) override {
        Fl_Native_File_Chooser chooser;
        const bool multiple = request.kind == FileChooserRequest::Kind::Open &&
                              (request.flags & OFN_ALLOWMULTISELECT) != 0;
        chooser.type(request.kind == FileChooserRequest::Kind::Save
                         ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                     : multiple ? Fl_Native_File_Chooser::BROWSE_MULTI_FILE
                                : Fl_Native_File_Chooser::BROWSE_FILE);
        chooser.title(request.title.c_str());
        std::string filter = FltkFilter(request.filters);
        if (!filter.empty()) {
            chooser.filter(filter.c_str());
            const int index = request.filter_index - 1;
            if (index >= 0 && index < chooser.filters()) {
                chooser.filter_value(index);
            }
        }
        ChooserStart start = SplitInitialFile(request.initial_dir, request.initial_file);
        if (!start.directory.empty()) {
            chooser.directory(start.directory.c_str());
        }
        if (!start.file.empty()) {
            chooser.preset_file(start.file.c_str());
        }
        int answer = 0;
        {
            InToolkit guard(m_in_toolkit);
            answer = chooser.show();
        }
        if (answer != 0) {
            return std::nullopt;  // cancelled (1) or failed (-1)
        }
        std::vector<std::string> paths;
        for (int i = 0; i < chooser.count(); ++i) {
            if (const char* name = chooser.filename(i); name != nullptr && *name != '\0') {
                paths.emplace_back(name);
            }
        }
        if (paths.empty()) {
            return std::nullopt;
        }
        return paths;
    }

  private:
    // Marks the stretch in which the toolkit runs its own event loop, so that a window system
    // call made from inside it does not start another one.
    class InToolkit {
      public:
        explicit InToolkit(bool& flag) : m_flag(flag), m_before(flag) { m_flag = true; }
        ~InToolkit() { m_flag = m_before; }
        InToolkit(const InToolkit&) = delete;
        InToolkit& operator=(const InToolkit&) = delete;

      private:
        bool& m_flag;
        bool m_before;
    };

    bool on_ui_thread() const { return std::this_thread::get_id() == m_ui_thread; }

    // Changes waiting for paint() in one top-level window.
    struct Dirt {
        bool whole = false;     // draw the whole window
        bool geometry = false;  // follow the window system's geometry and caption first
        std::set<HWND> edits;   // edit controls whose view changed
    };

    // Takes the toolkit window of the top-level window `hwnd` off the screen with its waiting
    // changes; Release::Yes lets it go as well (the toolkit deletes it once it has finished
    // with any event for it). False when `hwnd` has no toolkit window.
    enum class Release { No, Yes };
    bool take_down(HWND hwnd, Release release) {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) {
            return false;
        }
        it->second->hide();
        m_dirt.erase(hwnd);
        if (release == Release::Yes) {
            Fl::delete_widget(it->second.release());
            m_windows.erase(it);
        }
        return true;
    }

    void note(HWND root, HWND changed) {
        if (m_windows.find(root) == m_windows.end()) {
            return;
        }
        if (m_dirt.empty()) {
            m_dirt_since = std::chrono::steady_clock::now();
        }
        Dirt& dirt = m_dirt[root];
        if (changed == root) {
            dirt.whole = true;
            dirt.geometry = true;
        } else if (is_edit(changed)) {
            dirt.edits.insert(changed);
        } else {
            dirt.whole = true;
        }
    }

    static bool is_edit(HWND hwnd) {
        const std::string name = GetClassName(hwnd);
        return name.size() == 4 && (name[0] == 'E' || name[0] == 'e') &&
               (name[1] == 'D' || name[1] == 'd') && (name[2] == 'I' || name[2] == 'i') &&
               (name[3] == 'T' || name[3] == 't');
    }

    // Raw key events on the root window report every physical press and release, whoever has
    // the keyboard. False when the server cannot (no X Input 2.1).
    bool listen_to_physical_keys() {
        ::Display* x = fl_display;
        int event = 0;
        int error = 0;
        if (x == nullptr || !XQueryExtension(x, "XInputExtension", &m_xi_opcode, &event, &error)) {
            return false;
        }
        int major = 2;
        int minor = 1;  // raw events also while another client grabs the keyboard
        if (XIQueryVersion(x, &major, &minor) != Success || major < 2 ||
            (major == 2 && minor < 1)) {
            return false;
        }
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof(bits)), bits};
        XISelectEvents(x, DefaultRootWindow(x), &mask, 1);
        XFlush(x);
        return true;
    }

    static int system_event(void* event, void* data) {
        auto* self = static_cast<ScreenDisplay*>(data);
        auto* xevent = static_cast<XEvent*>(event);
        if (xevent->type == MappingNotify) {
            self->m_code_keys.fill(-1);
            return 0;  // the toolkit refreshes its own mapping too
        }
        if (xevent->type != GenericEvent || xevent->xcookie.extension != self->m_xi_opcode) {
            return 0;
        }
        XGenericEventCookie* cookie = &xevent->xcookie;
        if (XGetEventData(fl_display, cookie) == 0) {
            return 1;
        }
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        const auto code = static_cast<unsigned>(raw->detail);
        if (cookie->evtype == XI_RawKeyPress && (raw->flags & XIKeyRepeat) == 0) {
            self->m_keys.tracker.physical_press(code, self->virtual_key_of(code),
                                                self->program_on_screen());
        } else if (cookie->evtype == XI_RawKeyRelease) {
            self->m_keys.tracker.physical_release(code);
        }
        XFreeEventData(fl_display, cookie);
        return 1;
    }

    int virtual_key_of(unsigned code) {
        if (code >= m_code_keys.size()) {
            return 0;
        }
        int& known = m_code_keys[code];
        if (known < 0) {
            const KeySym symbol = XkbKeycodeToKeysym(fl_display, static_cast<KeyCode>(code), 0, 0);
            known = symbol == NoSymbol ? 0 : VirtualKeyFromFltk(static_cast<int>(symbol));
        }
        return known;
    }

    ProgramOnScreen program_on_screen() const {
        for (const auto& [hwnd, window] : m_windows) {
            if (window->shown() && window->visible()) {
                return ProgramOnScreen::Yes;
            }
        }
        return ProgramOnScreen::No;
    }

    void report_key(int virtual_key, bool down) {
        if (on_ui_thread()) {
            SetAsyncKeyState(virtual_key, down);
        }
    }

    void after_reading() {
        m_last_read = std::chrono::steady_clock::now();
        if (!m_keys.physical && m_keys.tracker.any_down()) {
            release_keys_up_in_key_map();
        }
    }

    // Without physical transitions, a counted key whose release went to another window is let
    // go when the server's key map shows it up (a question to the server, asked only while such
    // a key is held).
    void release_keys_up_in_key_map() {
        char keys[32] = {};
        XQueryKeymap(fl_display, keys);
        for (unsigned code = 0; code < 256; ++code) {
            const bool down = (static_cast<unsigned char>(keys[code / 8]) >> (code % 8)) & 1U;
            if (!down && m_keys.tracker.counted(code)) {
                m_keys.tracker.physical_release(code);
            }
        }
    }

    static RECT client_on_screen(HWND hwnd) {
        POINT origin{};
        ClientToScreen(hwnd, &origin);
        RECT client{};
        GetClientRect(hwnd, &client);
        return {origin.x, origin.y, origin.x + std::max(1, client.width()),
                origin.y + std::max(1, client.height())};
    }

    TopWindow& top_window(HWND hwnd) {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) {
            it = m_windows
                     .emplace(hwnd, std::make_unique<TopWindow>(hwnd, m_metrics, m_keys,
                                                                client_on_screen(hwnd)))
                     .first;
        }
        return *it->second;
    }

    void sync(HWND hwnd, TopWindow& window) {
        window.sync(client_on_screen(hwnd), GetStoredWindowText(hwnd));
    }

    std::thread::id m_ui_thread;
    FontMetrics m_metrics;
    KeyInput m_keys;
    int m_xi_opcode = -1;
    std::array<int, 256> m_code_keys{};  // virtual key of each key code, -1 not yet looked up
    std::map<HWND, std::unique_ptr<TopWindow>> m_windows;
    std::map<HWND, Dirt> m_dirt;
    std::chrono::steady_clock::time_point m_dirt_since;
    std::chrono::steady_clock::time_point m_last_read;
    bool m_in_toolkit = false;
};

}  // namespace

std::unique_ptr<Display> CreateScreenDisplay(std::string* error) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        if (error != nullptr) {
            *error = "no X display: the DISPLAY environment variable is not set";
        }
        return nullptr;
    }
    ::Display* connection = XOpenDisplay(nullptr);
    if (connection == nullptr) {
        if (error != nullptr) {
            *error = std::string("cannot open the X display \"") + name + "\"";
        }
        return nullptr;
    }
    fl_open_display(connection);
    // Lets other threads wake the interface thread's wait (Fl::awake).
    Fl::lock();
    g_wake_pending.store(false);
    Fl::scheme("gtk+");
    return std::make_unique<ScreenDisplay>();
}

}  // namespace platform::fltk
