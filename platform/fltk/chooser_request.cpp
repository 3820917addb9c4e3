#include "platform/fltk/chooser_request.h"

namespace platform::fltk {
namespace {

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) {
        return "";
    }
    std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::string one_mask(const std::string& mask) {
    return mask == "*.*" ? "*" : mask;
}

// The toolkit shows each pattern in parentheses after its description, and its own chooser
// reads the pattern back from the first "(" to the last ")" of that text. A description that
// already ends in its mask in parentheses loses that ending (the toolkit adds it again); other
// parentheses become brackets so that they cannot be taken for the pattern.
std::string label_of(const std::string& description, const std::string& mask) {
    std::string label = description;
    const std::string ending = "(" + mask + ")";
    if (label.size() >= ending.size() &&
        label.compare(label.size() - ending.size(), ending.size(), ending) == 0) {
        label.erase(label.size() - ending.size());
        label = trim(label);
    }
    for (char& c : label) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        } else if (c == '(') {
            c = '[';
        } else if (c == ')') {
            c = ']';
        }
    }
    return label.empty() ? mask : label;
}

}  // namespace

std::string FltkPattern(const std::string& mask) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t semi = mask.find(';', start);
        std::string part =
            trim(mask.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (!part.empty()) {
            parts.push_back(one_mask(part));
        }
        if (semi == std::string::npos) {
            break;
        }
        start = semi + 1;
    }
    if (parts.empty()) {
        return "*";
    }
    if (parts.size() == 1) {
        return parts.front();
    }
    std::string out = "{";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i == 0 ? "" : ",") + parts[i];
    }
    return out + "}";
}

std::string FltkFilter(const std::vector<std::pair<std::string, std::string>>& filters) {
    std::string out;
    for (const auto& [description, mask] : filters) {
        if (!out.empty()) {
            out += '\n';
        }
        out += label_of(description, mask) + '\t' + FltkPattern(mask);
    }
    return out;
}

ChooserStart SplitInitialFile(const std::string& initial_dir, const std::string& initial_file) {
    std::size_t slash = initial_file.find_last_of('/');
    if (slash == std::string::npos) {
        return {initial_dir, initial_file};
    }
    std::string folder = initial_file.substr(0, slash);
    return {folder.empty() ? "/" : folder, initial_file.substr(slash + 1)};
}

}  // namespace platform::fltk
