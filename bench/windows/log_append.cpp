// The serving log's growth on the Windows build: a read-only multi-line edit control gets the
// whole log again with one more line (as every logged track does), then shows its last line,
// and the queue is emptied. Prints the median time per line near the start and near the end
// of a run as long as a 160-track transfer, and their ratio: a cost that grows with the log's
// length is the edit control's own, not the serial line's.
//
//   wine log_append_bench.exe [lines]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "platform/types.h"
#include "platform/window.h"

namespace {

using Clock = std::chrono::steady_clock;

platform::LRESULT proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                       platform::LPARAM lparam) {
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int lines = std::max(argc > 1 ? std::atoi(argv[1]) : 161, 40);
    platform::RegisterClass("LogAppendBench", proc);
    const platform::HWND top =
        platform::CreateWindowEx(0, "LogAppendBench", "bench",
                                 platform::WS_POPUP | platform::WS_VISIBLE, 0, 0, 510, 510, 0, 0);
    const platform::HWND log = platform::CreateWindowEx(
        0, "EDIT", "",
        platform::WS_CHILD | platform::WS_VISIBLE | platform::WS_VSCROLL | platform::ES_MULTILINE |
            platform::ES_AUTOVSCROLL | platform::ES_READONLY,
        0, 0, 502, 502, top, 100);
    if (top == 0 || log == 0) {
        std::fprintf(stderr, "cannot make the windows\n");
        return 2;
    }
    // Not a font of the system's: the layer gives the control the system's message font, as it
    // does for the program's own font objects.
    platform::SendMessage(log, platform::WM_SETFONT, 1, 0);
    std::string text;
    std::vector<double> per_line;
    for (int i = 0; i < lines; ++i) {
        const auto start = Clock::now();
        text += "Sending sectors " + std::to_string(i * 18) + " to " + std::to_string(i * 18 + 17) +
                "\r\n";
        platform::SetWindowText(log, text);
        const auto end = static_cast<platform::WPARAM>(text.size() + 1);
        platform::SendMessage(log, platform::EM_SETSEL, end, static_cast<platform::LPARAM>(end));
        const platform::LRESULT count = platform::SendMessage(log, platform::EM_GETLINECOUNT, 0, 0);
        platform::SendMessage(log, platform::EM_LINESCROLL, 0, count);
        platform::MSG msg;
        while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
            platform::DispatchMessage(&msg);
        }
        per_line.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const std::vector<double> first(per_line.begin(), per_line.begin() + 20);
    const std::vector<double> last(per_line.end() - 20, per_line.end());
    double total = 0;
    for (double t : per_line) {
        total += t;
    }
    std::printf(
        "%d log lines in %.0f ms; median per line: lines 1-20 %.2f ms, last 20 %.2f ms "
        "(ratio %.1f)\n",
        lines, total, median(first), median(last), median(last) / median(first));
    platform::DestroyWindow(top);
    return 0;
}
