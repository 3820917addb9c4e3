#pragma once
// The process-wide runtime error handler, breaks to recovery points, the call-chain registry that
// names the failing application function, and the error report mail.
//
// ERRORSYS() installs DEFERROR as the handler of RaiseRuntimeError (ui/runtime_error.h). Call it
// once at start-up, before the start-up procedures.
//
// DEFERROR(error) tries these rows in order; the first that matches is carried out (FILE is
// FILENAME in upper case):
//   1 OSCODE 21              "Disco FILE non pronto."                     break
//   2 OSCODE 27 or 31        "Disco FILE non formattato."                 break
//   3 OSCODE 19              "Disco FILE protetto da scrittura."          break
//   4 OSCODE 82              "Directory FILE piena."                      break
//   5 SUBCODE 2016           "Spazio sul disco FILE insufficiente."       break
//   6 OSCODE 5               "Impossibile accedere al file FILE."         break
//   7 OSCODE 3               "Percorso FILE non trovato."                 break
//   8 OSCODE 2               "Impossibile aprire il file FILE."           break
//   9 SUBCODE 1012 or GENCODE 32  "Il file FILE risulta corrotto."        break
//  10 GENCODE 1001           ERRORMESSAGE(error)                          break
//  11 GENCODE 5              no message, returns the number 0
//  12 GENCODE 21, OSCODE 32 and CANDEFAULT   NETERR set, returns false
//  13 GENCODE 40 and CANDEFAULT              NETERR set, returns false
//  14 anything else          the report path, then QUIT
// (OSCODE numbers are the desktop platform's system error codes; POSIX code raising errors maps
// errno onto them.)
// Rows 1 to 10 call SUNLOCK, show the message with POPMSG type 1 and then break: they throw Break,
// which RunGuarded catches at the innermost recovery point. With no recovery point around the
// failing code, a break has nowhere to go: the program then ends as after a report (QUIT, exit
// procedures run, exit code 0) instead of unwinding through window-system code.
// The report path: SUNLOCK; POPMSG(ERRORMESSAGE(error) + ";;Inviare rapporto di errore via
// email?", 2); on OK the report address (ErrorReportMailAddress) goes to the mail program
// (OpenMailProgram); then PostQuitMessage(0) and QUIT. DEFERROR never returns from rows 1-10 and
// 14: QUIT does not return (see program_lifecycle.h).
//
// ERRORMESSAGE(error): "Error " (SEVERITY > 1) or "Warning ", SUBSYSTEM or "???", "/" SUBCODE or
// "/???", "  " DESCRIPTION when there is one, ": " FILENAME (as given) or else ": " OPERATION when
// either is not empty, then ";Function: " NAME "  Line: " LINE for the innermost
// ApplicationFrame with a line (name "" and line 0 when there is none).
//
// All of it runs on the interface thread; the frame registry is per thread.

#include <functional>
#include <string>
#include <string_view>

#include "ui/runtime_error.h"

namespace kadro {

void ERRORSYS();
RuntimeErrorResult DEFERROR(const RuntimeError& oError);
std::string ERRORMESSAGE(const RuntimeError& oError);

// The network-error flag that callers read after opening or appending to a shared table.
bool NETERR();
void NETERR(bool lNewError);

// A break: abandons everything up to the innermost recovery point.
struct Break {};
[[noreturn]] void BREAK();

// Runs `block` as a recovery point: true when it ran to its end, false when a break ended it.
// Any other exception passes through.
bool RunGuarded(const std::function<void()>& block);
// How many recovery points enclose the current code.
int RecoveryDepth();

// One level of the application's call chain. Application functions (MAIN, APRICOM, KADRO...)
// create one on entry with their name and report the line they are executing with line(n);
// the name is kept in upper case. Frames must be destroyed in the reverse order of creation,
// which automatic variables guarantee. Neither copyable nor movable.
class ApplicationFrame {
  public:
    explicit ApplicationFrame(std::string_view name);
    ~ApplicationFrame();
    ApplicationFrame(const ApplicationFrame&) = delete;
    ApplicationFrame& operator=(const ApplicationFrame&) = delete;

    void line(int line) { m_line = line; }

    const std::string& name() const { return m_name; }
    int current_line() const { return m_line; }
    const ApplicationFrame* outer() const { return m_outer; }

  private:
    std::string m_name;
    int m_line = 0;
    ApplicationFrame* m_outer;
};

// The place ERRORMESSAGE names: the innermost frame with a line, else "" and 0.
struct FailurePlace {
    std::string name;
    int line = 0;
};
FailurePlace InnermostApplicationPlace();

// In the text, "&" becomes "%26", then ";" becomes "%0d%0a"; nothing else is encoded.
std::string EncodeForMailBody(std::string_view text);
// "mailto:?subject=Rapporto di errore&body=Applicazione: " + executable (cut to 248 bytes) +
// "%0d%0a%0d%0a" + EncodeForMailBody(text).
std::string ErrorReportMailAddress(std::string_view text, std::string_view executable);
// Full path of the program's own executable, at most 248 bytes; "" when unknown.
std::string ExecutablePath();
// Hands the address to the desktop's opener ("xdg-open", looked up on PATH) as its one argument,
// started directly (never through a shell) and not waited for. False when it could not be
// started; the handler ignores the result.
bool OpenMailProgram(const std::string& address);

// The out-of-memory error the application raises when it cannot hold the image it prepares:
// GENCODE kGenCodeMemoryLow, SEVERITY 2, SUBSYSTEM "BASE", DESCRIPTION "Memory low", the given
// OPERATION, CANDEFAULT false. It matches no row before 14, so it takes the report path.
inline constexpr int kGenCodeMemoryLow = 16;
RuntimeError MakeOutOfMemoryError(std::string operation);

}  // namespace kadro
