#include "pack/stack_check.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "config/ini_text.h"
#include "config/settings.h"
#include "stack/archive_cipher.h"
#include "stack/database_server.h"
#include "stack/templates.h"
#include "stack/web_server.h"
#include "stack/zip_reader.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/protected_folders.h"
#include "sys/text.h"

namespace {

using Severity = CheckFinding::Severity;

const char kConfigName[] = "hub_config.ini";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Edits (insertions, deletions, changes and swaps of neighbours) that turn one name into the
// other, letter case ignored.
size_t EditDistance(const std::string& a, const std::string& b) {
    const std::string x = Lower(a);
    const std::string y = Lower(b);
    std::vector<std::vector<size_t>> d(x.size() + 1, std::vector<size_t>(y.size() + 1));
    for (size_t i = 0; i <= x.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= y.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= x.size(); ++i) {
        for (size_t j = 1; j <= y.size(); ++j) {
            const size_t change = x[i - 1] == y[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[x.size()][y.size()];
}

// The name of `known` that `name` is most likely a misspelling of; empty when none is close.
// Short names may differ by one edit, longer ones by two.
std::string ClosestName(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    size_t bestDistance = 0;
    for (const std::string& candidate : known) {
        const size_t distance = EditDistance(name, candidate);
        const size_t limit = std::min(name.size(), candidate.size()) < 6 ? 1 : 2;
        if (distance <= limit && (best.empty() || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a text file without their line ends; line i + 1 of the file is element i.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Both follow links, as the programs that open the path will.
bool IsFolder(const std::string& path) {
    std::vector<FolderEntry> entries;
    return ListFolder(path, entries);
}

bool IsFile(const std::string& path) {
    const UniqueFile file = OpenFile(path, "rb");
    return file && IsFileStream(file.get());
}

class Report {
public:
    explicit Report(std::string stack) : stack_(std::move(stack)) {}

    void Add(Severity severity, const std::string& path, int line, const std::string& message) {
        findings_.push_back({severity, Shown(path), line, message});
    }
    void Error(const std::string& path, int line, const std::string& message) {
        Add(Severity::kError, path, line, message);
    }
    void Warning(const std::string& path, int line, const std::string& message) {
        Add(Severity::kWarning, path, line, message);
    }

    std::vector<CheckFinding> Take() { return std::move(findings_); }

    // A path inside the stack relative to it; any other as it is.
    std::string Shown(const std::string& path) const {
        if (path.size() > stack_.size() && path.compare(0, stack_.size(), stack_) == 0) {
            return path.substr(stack_.size());
        }
        return path;
    }

    const std::string stack_;  // ends with a separator
    std::vector<CheckFinding> findings_;
};

// hub_config.ini as the launcher sees it: every line, and for each key it knows the one line it
// reads.
class ConfigView {
public:
    ConfigView(const std::string& path, const std::string& text)
        : path_(path), lines_(ZUL::ListIniLines(text)) {}

    const std::string& path() const { return path_; }
    const std::vector<ZUL::IniLine>& lines() const { return lines_; }

    void NoteRead(const ZUL::IniLine& line) { read_[Id(line.section, line.key)] = &line; }

    // The line the launcher reads the key from; null when the file does not set it.
    const ZUL::IniLine* Read(const std::string& section, const std::string& key) const {
        const auto found = read_.find(Id(section, key));
        return found == read_.end() ? nullptr : found->second;
    }
    int LineOf(const std::string& section, const std::string& key) const {
        const ZUL::IniLine* line = Read(section, key);
        return line ? line->number : 0;
    }

private:
    static std::string Id(const std::string& section, const std::string& key) {
        return Lower(section) + "\n" + Lower(key);
    }

    const std::string path_;
    const std::vector<ZUL::IniLine> lines_;
    std::map<std::string, const ZUL::IniLine*> read_;
};

const SettingKey* FindKey(const std::string& section, const std::string& name) {
    for (const SettingKey& key : SettingKeys()) {
        if (EqualsNoCase(key.section, section) && EqualsNoCase(key.name, name)) {
            return &key;
        }
    }
    return nullptr;
}

std::vector<std::string> KnownSections() {
    std::vector<std::string> sections;
    for (const SettingKey& key : SettingKeys()) {
        if (std::find(sections.begin(), sections.end(), key.section) == sections.end()) {
            sections.push_back(key.section);
        }
    }
    return sections;
}

// ---- the configuration's lines ------------------------------------------------------------

// A key the launcher reads from no section, or from another one than where it stands.
void CheckStrayKey(const ZUL::IniLine& line, Report& report, const std::string& path) {
    std::vector<std::string> here;
    std::vector<std::string> anywhere;
    for (const SettingKey& key : SettingKeys()) {
        anywhere.push_back(key.name);
        if (EqualsNoCase(key.section, line.section)) {
            here.push_back(key.name);
        }
    }
    for (const SettingKey& key : SettingKeys()) {
        if (EqualsNoCase(key.name, line.key)) {
            if (line.sectionLine == 0) {
                report.Error(path, line.number,
                             line.key +
                                 " stands before every section, where the launcher never "
                                 "reads it; it belongs in [" +
                                 key.section + "]");
            } else {
                report.Error(path, line.number,
                             line.key + " belongs in [" + key.section +
                                 "]; the launcher does not read it from [" + line.section + "]");
            }
            return;
        }
    }
    if (line.sectionLine == 0) {
        report.Warning(path, line.number,
                       line.key +
                           " stands before every section, where the launcher never reads "
                           "it");
        return;
    }
    const std::string closeHere = ClosestName(line.key, here);
    if (!closeHere.empty()) {
        report.Error(
            path, line.number,
            line.key + " is no key of [" + line.section + "]; did you mean " + closeHere + "?");
        return;
    }
    const std::string closeAnywhere = ClosestName(line.key, anywhere);
    if (!closeAnywhere.empty()) {
        const SettingKey* key = nullptr;
        for (const SettingKey& candidate : SettingKeys()) {
            if (candidate.name == closeAnywhere) {
                key = &candidate;
            }
        }
        report.Error(path, line.number,
                     line.key + " is no key of [" + line.section + "]; did you mean " +
                         closeAnywhere + " in [" + key->section + "]?");
        return;
    }
    report.Warning(path, line.number,
                   line.key + " is no key the launcher reads; the line is ignored");
}

// Sections and keys: misspelt, misplaced, repeated or never read. Notes in `view` the line the
// launcher reads for each key it knows.
void CheckConfigLines(ConfigView& view, Report& report) {
    const std::string& path = view.path();
    const std::vector<std::string> sections = KnownSections();
    bool sectionRead = false;  // whether the launcher reads the keys under the current header
    for (const ZUL::IniLine& line : view.lines()) {
        if (line.isSection) {
            const bool known =
                std::any_of(sections.begin(), sections.end(),
                            [&](const std::string& s) { return EqualsNoCase(s, line.section); });
            sectionRead = known && line.hiddenBy == 0;
            if (known && line.hiddenBy != 0) {
                report.Warning(path, line.number,
                               "[" + line.section + "] appears already at line " +
                                   std::to_string(line.hiddenBy) +
                                   "; the launcher reads only the first, so this section is "
                                   "ignored");
            } else if (!known) {
                const std::string close = ClosestName(line.section, sections);
                if (!close.empty()) {
                    report.Error(path, line.number,
                                 "[" + line.section +
                                     "] is no section the launcher reads; did you mean [" + close +
                                     "]?");
                } else {
                    report.Warning(path, line.number,
                                   "[" + line.section +
                                       "] is no section the launcher reads; its keys are "
                                       "ignored");
                }
            }
            continue;
        }
        // Comments read as keys whose names begin with ';' or '#', which no key does.
        if (line.key.empty() || line.key[0] == ';' || line.key[0] == '#') {
            continue;
        }
        if (line.sectionLine != 0 && !sectionRead) {
            continue;  // reported with its header
        }
        const SettingKey* key = line.sectionLine != 0 ? FindKey(line.section, line.key) : nullptr;
        if (!key) {
            CheckStrayKey(line, report, path);
            continue;
        }
        if (line.hiddenBy != 0) {
            report.Warning(path, line.number,
                           line.key + " is set already at line " + std::to_string(line.hiddenBy) +
                               "; the launcher reads only that line");
            continue;
        }
        if (!line.value) {
            report.Warning(path, line.number,
                           line.key +
                               " has no '=': the launcher takes its default and ignores "
                               "any later " +
                               line.key + " line");
        }
        view.NoteRead(line);
    }
}

// ---- the values -------------------------------------------------------------------------------

void CheckNumber(const ZUL::IniLine& line, const SettingKey& key, Report& report,
                 const std::string& path) {
    const std::string& value = *line.value;
    const bool isPort = EqualsNoCase(key.name, "Port") || EqualsNoCase(key.name, "MySQLPort");
    if (!AllDigits(value)) {
        report.Error(path, line.number,
                     line.key + "=" + value + " is no number; the launcher reads " +
                         std::to_string(ZUL::LeadingDecimalNumber(value)));
        return;
    }
    const int number = ZUL::LeadingDecimalNumber(value);
    if (isPort && (value.size() > 5 || number < 1 || number > 65535)) {
        report.Error(path, line.number, line.key + "=" + value + " is no port number (1 to 65535)");
    } else if (!isPort && number != 0 && number != 1) {
        report.Warning(path, line.number,
                       line.key + "=" + value + " acts like 0: only 1 turns it on");
    }
}

void CheckBrowserSize(const ZUL::IniLine& line, Report& report, const std::string& path) {
    const std::string& value = *line.value;
    const size_t x = value.find('x');
    const bool size =
        AllDigits(value) ||
        (x != std::string::npos && AllDigits(value.substr(0, x)) && AllDigits(value.substr(x + 1)));
    if (!value.empty() && !size && !EqualsNoCase(value, "MAXIMIZE") &&
        !EqualsNoCase(value, "KIOSK")) {
        report.Error(path, line.number,
                     "BrowserSize=" + value +
                         " is none of MAXIMIZE, KIOSK, a size such as 800x600, a height such as "
                         "600, or empty");
    }
}

// Values the launcher reads differently from what they seem to say.
void CheckValues(const ConfigView& view, Report& report) {
    const std::string& path = view.path();
    for (const SettingKey& key : SettingKeys()) {
        const ZUL::IniLine* line = view.Read(key.section, key.name);
        // An empty number or boolean gives the default.
        if (!line || !line->value || (line->value->empty() && key.kind != SettingKind::kText)) {
            continue;
        }
        const std::string& value = *line->value;
        if (key.kind == SettingKind::kNumber) {
            CheckNumber(*line, key, report, path);
        } else if (key.kind == SettingKind::kBoolean && !AllDigits(value)) {
            report.Error(path, line->number,
                         line->key + "=" + value + " reads as " +
                             std::to_string(ZUL::LeadingDecimalNumber(value) != 0 ? 1 : 0) +
                             ": the launcher's switches are numbers, 1 for on and 0 for off");
        } else if (EqualsNoCase(key.name, "BrowserType") &&
                   BrowserTypeFromText(value) == BrowserType{}) {
            report.Error(path, line->number,
                         "BrowserType=" + value +
                             " is no browser type the launcher knows (DEFAULT, IEXPLORER, "
                             "MOZILLA, FIREFOX, EXTERNAL, NONE, PORTABLEFIREFOX, CHROMIUM); it "
                             "opens the default browser instead");
        } else if (EqualsNoCase(key.name, "BrowserSize")) {
            CheckBrowserSize(*line, report, path);
        }
    }
}

// ---- programs, folders and files ------------------------------------------------------------

struct StackPaths {
    std::string stack;  // ends with a separator
    const ConfigView& view;
    const AppSettings& settings;

    // A path of the configuration (or its default) relative to the stack, whole.
    std::string In(const std::string& relative) const { return stack + relative; }
};

// Reports a missing file or folder that a key names (its line, or no line for a default).
void RequirePath(const StackPaths& p, Report& report, const std::string& path, bool folder,
                 const char* section, const char* key, const std::string& what,
                 Severity severity = Severity::kError) {
    if (!(folder ? IsFolder(path) : IsFile(path))) {
        report.Add(severity, p.view.path(), p.view.LineOf(section, key),
                   what + " " + report.Shown(path) + " is missing");
    }
}

void CheckPrograms(const StackPaths& p, Report& report) {
    const AppSettings& s = p.settings;
    // The launcher falls back to server/Apache/bin when the configured program is missing.
    if (!IsFile(WebServerProgram(p.stack, s.pathToApache))) {
        RequirePath(p, report, p.In(s.pathToApache), false, "Path", "PathToApache",
                    "the web server");
    }
    RequirePath(p, report, p.In(s.pathToHttpdConf), false, "Path", "PathToHttpdConf",
                "the web server's template");
    RequirePath(p, report, p.In(s.pathToPhpIni), false, "Path", "PathToPhpIni", "PHP's template",
                Severity::kWarning);
    if (s.useMySQL) {
        const std::string bin = p.In(s.pathToMySqlBin) + kSep;
        RequirePath(p, report, bin + DatabaseServerFileName(), false, "Path", "PathToMySqlBin",
                    "the database server");
        RequirePath(p, report, bin + DatabaseAdminFileName(), false, "Path", "PathToMySqlBin",
                    "the database server's administration tool");
        RequirePath(p, report, p.In(s.pathToMySqlShare), true, "Path", "PathToMySqlShare",
                    "the database server's share folder", Severity::kWarning);
        RequirePath(p, report, p.In(s.pathToMyIni), false, "Path", "PathToMyIni",
                    "the database server's template");
    }
    const std::string docRoot =
        ResolveDocumentRoot(p.stack, s.defaultRoot.empty() ? std::string("htdocs") : s.defaultRoot);
    RequirePath(p, report, docRoot, true, "http", "DefaultRoot", "the document root");
    // The splash picture is looked for from the folder the launcher starts in, which is the
    // stack's own when it is double-clicked.
    if (!s.splashFile.empty()) {
        const std::string splash = ResolveDocumentRoot(p.stack, s.splashFile);
        if (!IsFile(splash)) {
            report.Error(p.view.path(), p.view.LineOf("General", "UseSplash"),
                         "the splash picture " + report.Shown(splash) +
                             " is missing: the launcher shows \"Failed to load Splash\" at every "
                             "start; add it, or set UseSplash=0");
        }
    }
}

// Where the database comes from: the archive, else (with LocalMirror) the folders copied into
// the mirror, else the data folder itself.
void CheckDatabaseSource(const StackPaths& p, Report& report) {
    if (!p.settings.useMySQL || PathExists(p.In("dbdir.aes"))) {
        return;
    }
    const std::string dbdir = p.In("dbdir");
    if (!IsFolder(dbdir)) {
        report.Error(p.view.path(), p.view.LineOf("database", "UseMySQL"),
                     "the database folder " + report.Shown(dbdir) +
                         " is missing, and there is no dbdir.aes");
    }
    if (p.settings.localMirror) {
        RequirePath(p, report, p.In(p.settings.pathToMySqlData) + kSep + "mysql", true, "Path",
                    "PathToMySqlData", "the folder of the server's own tables", Severity::kWarning);
    }
}

// ---- templates and the site's files ---------------------------------------------------------

std::vector<std::string> NamesOf(const Placeholders& placeholders) {
    std::vector<std::string> names;
    for (const auto& placeholder : placeholders) {
        names.push_back(placeholder.first);
    }
    return names;
}

// Every %RMHUB:...% of the file must be one that the launcher fills in that file, written
// exactly so (the replacement is case-sensitive). Comment lines ('#' or ';' first) of the
// servers' templates are left out: what they hold does no harm.
void CheckPlaceholders(const std::string& path, const std::vector<std::string>& lines,
                       const std::vector<std::string>& filled, const std::string& fileKind,
                       bool skipComments, Report& report) {
    // my.ini gets every placeholder there is.
    const std::vector<std::string> known = NamesOf(MyIniPlaceholders(RunValues(), ""));
    const std::string prefix = "rmhub:";
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string text = Trim(line);
        if (skipComments && !text.empty() && (text[0] == '#' || text[0] == ';')) {
            continue;
        }
        const std::string lower = Lower(line);
        const int number = static_cast<int>(i + 1);
        for (size_t at = lower.find(prefix); at != std::string::npos;
             at = lower.find(prefix, at + prefix.size())) {
            const size_t start = at > 0 && line[at - 1] == '%' ? at - 1 : at;
            size_t end = at + prefix.size();
            while (end < line.size() &&
                   (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_')) {
                ++end;
            }
            const bool closed = end < line.size() && line[end] == '%';
            const std::string written = line.substr(start, end - start + (closed ? 1 : 0));
            const std::string name = line.substr(at + prefix.size(), end - at - prefix.size());
            const std::string meant = "%RMHUB:" + name + "%";
            const bool exact = std::find(known.begin(), known.end(), written) != known.end();
            if (exact && std::find(filled.begin(), filled.end(), written) == filled.end()) {
                report.Error(path, number,
                             written + " is not filled in " + fileKind +
                                 ", only in my.ini: here it stays as written");
            } else if (!exact) {
                std::string suggestion = ClosestName(meant, known);
                report.Error(path, number,
                             written + " is no placeholder the launcher fills" +
                                 (suggestion.empty() ? std::string()
                                                     : "; did you mean " + suggestion + "?"));
            }
        }
    }
}

// The name of an option line of a configuration file ("name = value" or "name value"), lower
// case with '-' read as '_'; empty for comments, blank lines and section headers.
std::string OptionName(const std::string& line, std::string& value) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#' || text[0] == ';' || text[0] == '[' || text[0] == '<') {
        return "";
    }
    size_t end = 0;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                 text[end] == '_' || text[end] == '-')) {
        ++end;
    }
    std::string rest = Trim(text.substr(end));
    if (!rest.empty() && rest[0] == '=') {
        rest = Trim(rest.substr(1));
    }
    value = rest;
    std::string name = Lower(text.substr(0, end));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// Whether a value is fixed: it holds no placeholder, not even a misspelt one (which the check of
// the placeholders reports).
bool Fixed(const std::string& value) {
    return Lower(value).find("rmhub:") == std::string::npos;
}

void CheckHttpdConf(const std::string& path, const std::vector<std::string>& lines,
                    Report& report) {
    bool listens = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string value;
        if (OptionName(lines[i], value) != "listen") {
            continue;
        }
        listens = true;
        if (Fixed(value)) {
            report.Error(path, static_cast<int>(i + 1),
                         "Listen " + value +
                             " is fixed: the web server must listen on %RMHUB:PORT%, the port "
                             "the launcher chose for this run");
        }
    }
    if (!listens) {
        report.Error(path, 0,
                     "no Listen line: write Listen %RMHUB:PORT%, the port the launcher chose for "
                     "this run");
    }
}

void CheckMyIni(const std::string& path, const std::vector<std::string>& lines, Report& report) {
    bool dataDir = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string value;
        const std::string name = OptionName(lines[i], value);
        const int number = static_cast<int>(i + 1);
        if (name == "datadir") {
            dataDir = true;
            if (Fixed(value)) {
                report.Error(path, number,
                             "datadir is fixed to " + value +
                                 ": write datadir=%RMHUB:DBDIR%, the folder the launcher staged "
                                 "the database in");
            }
        } else if (name == "port" && Fixed(value)) {
            report.Error(path, number,
                         "port is fixed to " + value +
                             ": write port=%RMHUB:MYSQLPRT%, the port the launcher chose for this "
                             "run");
        }
    }
    if (!dataDir) {
        report.Error(path, 0,
                     "no datadir line: the database server would use its own folder instead of "
                     "%RMHUB:DBDIR%");
    }
}

void CheckTemplates(const StackPaths& p, Report& report) {
    const RunValues run;
    struct Template {
        std::string path;
        Placeholders filled;
        const char* kind;
        bool used;
        void (*contents)(const std::string&, const std::vector<std::string>&, Report&);
    };
    const Template templates[] = {
        {p.In(p.settings.pathToHttpdConf), HttpdConfPlaceholders(run), "httpd.conf", true,
         CheckHttpdConf},
        {p.In(p.settings.pathToMyIni), MyIniPlaceholders(run, ""), "my.ini", p.settings.useMySQL,
         CheckMyIni},
        {p.In(p.settings.pathToPhpIni), PhpIniPlaceholders(run), "php.ini", true, nullptr},
    };
    for (const Template& t : templates) {
        const std::optional<std::string> text = t.used ? ReadText(t.path) : std::nullopt;
        if (!text) {
            continue;  // a missing template is reported with the programs
        }
        const std::vector<std::string> lines = SplitLines(*text);
        if (t.contents) {
            t.contents(t.path, lines, report);
        }
        CheckPlaceholders(t.path, lines, NamesOf(t.filled), t.kind, true, report);
    }
}

// The site files filled in place must lie inside the stack: each is copied to a ".bak" beside it
// and written over.
void CheckAdditionalFiles(const StackPaths& p, Report& report) {
    const std::vector<std::string> filled = NamesOf(AdditionalFilePlaceholders(RunValues()));
    for (size_t i = 0; i < p.settings.additionalFiles.size(); ++i) {
        const std::string& entry = p.settings.additionalFiles[i];
        if (entry.empty()) {
            continue;
        }
        const std::string key = "File" + std::to_string(i + 1);
        const int line = p.view.LineOf("AdditionalParsing", key);
        if (!IsSafeItemName(entry)) {
            report.Error(p.view.path(), line,
                         key + "=" + entry +
                             " lies outside the stack: additional files are named relative to "
                             "the stack folder, without \"..\"");
            continue;
        }
        const std::string path = p.In(entry);
        const std::optional<std::string> text = IsFile(path) ? ReadText(path) : std::nullopt;
        if (!text) {
            report.Error(p.view.path(), line,
                         "the additional file " + report.Shown(path) + " is missing");
            continue;
        }
        CheckPlaceholders(path, SplitLines(*text), filled, "an additional file", false, report);
    }
}

// ---- the encrypted archive --------------------------------------------------------------------

// A folder of its own under the temporary folder, removed with what is in it at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate =
                GetTempFolder() + "trailhost-check-" + std::to_string(random()) + kSep;
            if (!PathExists(candidate) && CreateFolders(candidate)) {
                path_ = candidate;
            }
        }
    }
    ~ScratchFolder() {
        if (!path_.empty()) {
            DeleteFolderTree(path_);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void CheckArchive(const StackPaths& p, const std::string& passPhrase, Report& report) {
    const std::string archive = p.In("dbdir.aes");
    if (!PathExists(archive)) {
        return;
    }
    ScratchFolder scratch;
    if (scratch.path().empty()) {
        report.Warning(archive, 0, "not checked: no scratch folder in " + GetTempFolder());
        return;
    }
    const std::string zip = scratch.path() + "dbdir.zip";
    ZipReader reader;
    if (!DecryptArchive(passPhrase, archive, zip) || !reader.Open(zip)) {
        report.Error(archive, 0,
                     "does not open with the pass phrase given: a wrong pass phrase, or a "
                     "damaged archive");
        return;
    }
    bool data = false;
    for (int i = 0; i < reader.Count(); ++i) {
        data = data || (reader.Name(i).rfind("dbdir/", 0) == 0 && reader.Name(i) != "dbdir/");
    }
    if (!data) {
        report.Error(archive, 0,
                     "opens, but holds nothing under dbdir/, where the launcher looks for the "
                     "database");
    }
}

// ---- the mirror folder -----------------------------------------------------------------------

// DeleteDatabaseFiles=1 deletes the mirror folder with everything in it at the end of every run.
void CheckMirror(const StackPaths& p, Report& report) {
    if (!p.settings.deleteDatabaseFiles || p.settings.mirrorFolder.empty()) {
        return;
    }
    const std::string& mirror = p.settings.mirrorFolder;
    if (!IsProtectedOnThisMachine(mirror, p.stack)) {
        return;
    }
    const std::vector<std::string> folders = MachineProtectedFolders(p.stack);
    std::string what = "a root, or a folder that is not absolute";
    for (const std::string& folder : folders) {
        if (IsProtectedFolder(mirror, {folder}) && !IsProtectedFolder(mirror, {})) {
            what = folder == p.stack ? "the stack's folder, or holds it"
                                     : "the folder " + folder + ", or holds it";
            break;
        }
    }
    report.Error(p.view.path(), p.view.LineOf("database", "MirrorFolder"),
                 "DeleteDatabaseFiles=1 would delete MirrorFolder " + mirror +
                     " with everything in it at the end of every run, and it is " + what +
                     "; name a folder of the mirror's own");
}

}  // namespace

std::vector<CheckFinding> CheckStack(const std::string& stackFolder,
                                     const std::string& passPhrase) {
    std::string stack = stackFolder;
    if (stack.empty() || (stack.back() != kPathSeparator && stack.back() != '/')) {
        stack += kSep;
    }
    Report report(stack);
    const std::string configPath = stack + kConfigName;
    const std::optional<std::string> text = ReadText(configPath);
    if (!text) {
        report.Warning(configPath, 0,
                       "missing: the launcher runs the stack with every setting at its default");
    }
    ConfigView view(configPath, text.value_or(""));
    CheckConfigLines(view, report);
    CheckValues(view, report);

    AppSettings settings;
    ReadSettings(settings, configPath);
    const StackPaths paths{stack, view, settings};
    CheckPrograms(paths, report);
    CheckDatabaseSource(paths, report);
    CheckTemplates(paths, report);
    CheckAdditionalFiles(paths, report);
    CheckArchive(paths, passPhrase, report);
    CheckMirror(paths, report);
    return report.Take();
}

int CheckExitCode(const std::vector<CheckFinding>& findings) {
    int code = 0;
    for (const CheckFinding& finding : findings) {
        code = std::max(code, finding.severity == Severity::kError ? 2 : 1);
    }
    return code;
}

namespace {

std::string SeverityName(Severity severity) {
    return severity == Severity::kError ? "error" : "warning";
}

std::string Counted(size_t count, const std::string& what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

size_t CountOf(const std::vector<CheckFinding>& findings, Severity severity) {
    return static_cast<size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [&](const CheckFinding& f) { return f.severity == severity; }));
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (byte < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            json += "\\u00";
            json += kHex[byte >> 4];
            json += kHex[byte & 0xf];
        } else {
            json += c;
        }
    }
    return json + "\"";
}

}  // namespace

void WriteCheckText(std::ostream& out, const std::string& stackFolder,
                    const std::vector<CheckFinding>& findings) {
    for (const CheckFinding& f : findings) {
        out << f.file;
        if (f.line > 0) {
            out << ":" << f.line;
        }
        out << ": " << SeverityName(f.severity) << ": " << f.message << "\n";
    }
    const size_t errors = CountOf(findings, Severity::kError);
    const size_t warnings = CountOf(findings, Severity::kWarning);
    out << stackFolder << ": "
        << (findings.empty() ? std::string("no problems found")
                             : Counted(errors, "error") + ", " + Counted(warnings, "warning"))
        << "\n";
}

void WriteCheckJson(std::ostream& out, const std::string& stackFolder,
                    const std::vector<CheckFinding>& findings) {
    out << "{\"stack\": " << JsonString(stackFolder)
        << ", \"errors\": " << CountOf(findings, Severity::kError)
        << ", \"warnings\": " << CountOf(findings, Severity::kWarning) << ", \"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const CheckFinding& f = findings[i];
        out << (i == 0 ? "\n  " : ",\n  ") << "{\"severity\": \"" << SeverityName(f.severity)
            << "\", \"file\": " << JsonString(f.file)
            << ", \"line\": " << (f.line > 0 ? std::to_string(f.line) : std::string("null"))
            << ", \"message\": " << JsonString(f.message) << "}";
    }
    out << (findings.empty() ? "]}\n" : "\n]}\n");
}
