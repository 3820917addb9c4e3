#include "app/port_open_message.h"

#include "platform/system_error.h"
#include "platform/text.h"
#include "support/message_popup.h"

namespace kadro {
namespace {

using platform::SerialOpenProblem;

// Text the system gave (UTF-8) as the program's code page shows it.
std::string shown(std::string_view utf8) {
    return platform::Utf16ToAnsi(platform::Utf8ToUtf16(utf8));
}

// Why, and what to do, in the code page's bytes ("\xE8" is the accented e, "\xE0" the a).
std::string reason(const platform::SerialOpenFailure& failure) {
    switch (failure.problem) {
        case SerialOpenProblem::kMissing:
            return "Il dispositivo non esiste: la porta non c'\xE8, oppure l'adattatore USB non "
                   "\xE8 collegato.";
        case SerialOpenProblem::kInUse:
            return "Il dispositivo \xE8 presente ma \xE8 in uso da un altro programma (o da "
                   "un'altra copia di KADRO). Chiudere quel programma e riprovare.";
        case SerialOpenProblem::kNoPermission: {
            const std::string group = shown(failure.group);
            std::string text = "L'utente non ha il permesso di usare il dispositivo";
            if (group.empty() || group == "root") {
                return text + ". Chiedere all'amministratore del sistema.";
            }
            return text + ", che appartiene al gruppo " + group +
                   ". Per entrare nel gruppo, dare in un terminale il comando;    sudo adduser "
                   "$USER " +
                   group + ";poi uscire dalla sessione e rientrare.";
        }
        case SerialOpenProblem::kNoHardware:
            return "Il sistema riserva questo nome a una porta seriale, ma non vi trova alcun "
                   "circuito: da qui non passa nessuna linea. Scegliere una delle porte "
                   "presenti.";
        case SerialOpenProblem::kNotSerial:
            return "Il nome indica qualcosa che non \xE8 una porta seriale.";
        case SerialOpenProblem::kOther:
            break;
    }
    return "Il sistema risponde: " +
           (failure.text.empty() ? platform::SystemErrorText(failure.error) : failure.text) + ".";
}

std::string port_lines(const std::vector<platform::SerialPortEntry>& ports,
                       std::string_view lister) {
    if (ports.empty()) {
        return "Nessuna porta seriale trovata.";
    }
    std::string text = "Porte seriali presenti:";
    for (std::size_t i = 0; i < ports.size() && i < kPortsInMessage; ++i) {
        // A stable name tells the hardware already; the node it leads to is what a person
        // recognises from elsewhere.
        const platform::SerialPortEntry& port = ports[i];
        const std::string& aside = port.device != port.name ? port.device : port.label;
        text += ";    " + shown(port.name) + (aside.empty() ? "" : " (" + shown(aside) + ")");
    }
    if (ports.size() > kPortsInMessage) {
        text += ";    ... e altre " + std::to_string(ports.size() - kPortsInMessage) + " (" +
                std::string(lister) + " --list-ports le elenca tutte)";
    }
    return text;
}

}  // namespace

std::string PortOpenFailureMessage(std::string_view cPort,
                                   const platform::SerialOpenFailure& failure,
                                   const std::vector<platform::SerialPortEntry>& ports,
                                   std::string_view cSettingsFile) {
    // The list comes last: on a small screen the box drops its last lines, and these matter
    // least.
    return "Errore di apertura della porta di comunicazione (" + std::string(cPort) + ").;;" +
           "Dispositivo provato: " + shown(failure.device) + ";" + reason(failure) + ";;" +
           (cSettingsFile.empty()
                ? "Indicare la porta da usare dopo --port.;;" + port_lines(ports, "kadro-serve")
                : "Scrivere la porta da usare dopo Porta= nel file;" + std::string(cSettingsFile) +
                      ";;" + port_lines(ports, "kadro"));
}

std::string TerminalText(std::string_view cText) {
    std::string text;
    for (char c : platform::AnsiToUtf8(PrepareMessageText(cText))) {
        if (c != '\r') {
            text += c;
        }
    }
    return text + "\n";
}

}  // namespace kadro
