#include "support/error_handler.h"

#include <algorithm>

#include "platform/message_queue.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/housekeeping.h"
#include "support/message_popup.h"
#include "support/program_lifecycle.h"

namespace kadro {
namespace {

constexpr std::size_t kMaxExecutablePath = 248;

struct HandlerState {
    bool net_error = false;
    int recovery_depth = 0;
};

HandlerState& state() {
    static HandlerState s;
    return s;
}

thread_local ApplicationFrame* innermost_frame = nullptr;

std::string ReplaceAll(std::string_view text, char from, std::string_view to) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c == from) {
            result += to;
        } else {
            result += c;
        }
    }
    return result;
}

// The message of rows 1 to 10, or nullopt when the error belongs to a later row.
std::optional<std::string> BreakingMessage(const RuntimeError& e) {
    const std::string file = platform::AsciiUpper(e.FILENAME);
    const int sub = e.SUBCODE.value_or(-1);
    if (e.OSCODE == 21) {
        return "Disco " + file + " non pronto.";
    }
    if (e.OSCODE == 27 || e.OSCODE == 31) {
        return "Disco " + file + " non formattato.";
    }
    if (e.OSCODE == 19) {
        return "Disco " + file + " protetto da scrittura.";
    }
    if (e.OSCODE == 82) {
        return "Directory " + file + " piena.";
    }
    if (e.SUBCODE && sub == 2016) {
        return "Spazio sul disco " + file + " insufficiente.";
    }
    if (e.OSCODE == 5) {
        return "Impossibile accedere al file " + file + ".";
    }
    if (e.OSCODE == 3) {
        return "Percorso " + file + " non trovato.";
    }
    if (e.OSCODE == 2) {
        return "Impossibile aprire il file " + file + ".";
    }
    if ((e.SUBCODE && sub == 1012) || e.GENCODE == 32) {
        return "Il file " + file + " risulta corrotto.";
    }
    if (e.GENCODE == 1001) {
        return ERRORMESSAGE(e);
    }
    return std::nullopt;
}

// Row 14: offer the report by mail, then end the program.
[[noreturn]] void ReportAndQuit(const RuntimeError& e) {
    SUNLOCK();
    std::string text = ERRORMESSAGE(e);
    PopResult answer = POPMSG(text + ";;Inviare rapporto di errore via email?", 2);
    if (std::get_if<bool>(&answer) != nullptr && std::get<bool>(answer)) {
        // Whether the mail program started makes no difference: the program ends either way.
        OpenMailProgram(ErrorReportMailAddress(text, ExecutablePath()));
    }
    platform::PostQuitMessage(0);
    QUIT();
}

}  // namespace

void ERRORSYS() {
    SetRuntimeErrorHandler([](const RuntimeError& error) { return DEFERROR(error); });
}

RuntimeErrorResult DEFERROR(const RuntimeError& oError) {
    if (std::optional<std::string> message = BreakingMessage(oError)) {
        SUNLOCK();
        POPMSG(*message, 1);
        if (RecoveryDepth() == 0) {
            // No recovery point to resume at: end as the program ends after a report, rather
            // than unwinding through window-system code that does not expect it.
            platform::PostQuitMessage(0);
            QUIT();
        }
        BREAK();
    }
    if (oError.GENCODE == 5) {
        return 0.0;
    }
    if ((oError.GENCODE == 21 && oError.OSCODE == 32 && oError.CANDEFAULT) ||
        (oError.GENCODE == 40 && oError.CANDEFAULT)) {
        NETERR(true);
        return false;
    }
    ReportAndQuit(oError);
}

std::string ERRORMESSAGE(const RuntimeError& oError) {
    std::string text = oError.SEVERITY > 1 ? "Error " : "Warning ";
    text += oError.SUBSYSTEM.value_or("???");
    // Appended piece by piece: "/" + std::to_string(...) draws a false -Wrestrict from GCC 12
    // at -O3 in the string's inlined insert.
    text += '/';
    text += oError.SUBCODE ? std::to_string(*oError.SUBCODE) : std::string("???");
    if (oError.DESCRIPTION) {
        text += "  " + *oError.DESCRIPTION;
    }
    if (!oError.FILENAME.empty()) {
        text += ": " + oError.FILENAME;
    } else if (!oError.OPERATION.empty()) {
        text += ": " + oError.OPERATION;
    }
    // The handler's own levels never carry a line, so where the walk starts (also for the
    // database subsystems) makes no difference: the innermost application level with a line is
    // the one named.
    FailurePlace place = InnermostApplicationPlace();
    text += ";Function: " + place.name + "  Line: " + std::to_string(place.line);
    return text;
}

bool NETERR() {
    return state().net_error;
}

void NETERR(bool lNewError) {
    state().net_error = lNewError;
}

void BREAK() {
    throw Break{};
}

bool RunGuarded(const std::function<void()>& block) {
    struct Depth {
        Depth() { ++state().recovery_depth; }
        ~Depth() { --state().recovery_depth; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;
    } depth;
    try {
        block();
        return true;
    } catch (const Break&) {
        return false;
    }
}

int RecoveryDepth() {
    return state().recovery_depth;
}

ApplicationFrame::ApplicationFrame(std::string_view name)
    : m_name(platform::AsciiUpper(name)), m_outer(innermost_frame) {
    innermost_frame = this;
}

ApplicationFrame::~ApplicationFrame() {
    innermost_frame = m_outer;
}

FailurePlace InnermostApplicationPlace() {
    for (const ApplicationFrame* frame = innermost_frame; frame != nullptr;
         frame = frame->outer()) {
        if (frame->current_line() != 0) {
            return {frame->name(), frame->current_line()};
        }
    }
    return {};
}

std::string EncodeForMailBody(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, '&', "%26"), ';', "%0d%0a");
}

std::string ErrorReportMailAddress(std::string_view text, std::string_view executable) {
    std::string address = "mailto:?subject=Rapporto di errore&body=Applicazione: ";
    address += executable.substr(0, std::min(executable.size(), kMaxExecutablePath));
    address += "%0d%0a%0d%0a";
    address += EncodeForMailBody(text);
    return address;
}

RuntimeError MakeOutOfMemoryError(std::string operation) {
    RuntimeError error;
    error.GENCODE = kGenCodeMemoryLow;
    error.SEVERITY = 2;
    error.SUBSYSTEM = "BASE";
    error.DESCRIPTION = "Memory low";
    error.OPERATION = std::move(operation);
    error.CANDEFAULT = false;
    return error;
}

std::string ExecutablePath() {
    std::string path = platform::GetModuleFileName();
    return path.substr(0, std::min(path.size(), kMaxExecutablePath));
}

bool OpenMailProgram(const std::string& address) {
    return platform::ShellOpen(address);
}

}  // namespace kadro
