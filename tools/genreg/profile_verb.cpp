// genreg profile FILE list | get | set | unset: a "name = value # comment"
// profile through GenRegVarVal.
#include <genreg/lines.h>
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "args.h"
#include "comment_layout.h"
#include "cli.h"
#include "edit_lock.h"
#include "file_link.h"
#include "file_kind.h"
#include "output.h"
#include "record_text.h"
#include "set_compare.h"
#include "store.h"

namespace {

const char kVerb[] = "profile";

const OptionRule kOptions[] = {
    {"bool", false},   {"int", false},     {"uint", false},    {"double", false}, {"all", false},
    {"comment", true}, {"compact", false}, {"no-wait", false}, {"timeout", true}, {nullptr, false},
};

const char kHelp[] =
    "usage: genreg profile FILE list\n"
    "       genreg profile FILE get NAME [--bool|--int|--uint|--double]\n"
    "       genreg profile FILE set NAME VALUE [--comment TEXT] [--compact]\n"
    "       genreg profile FILE unset NAME [--all]\n"
    "\n"
    "A profile holds lines of \"name = value  # comment\".\n"
    "  list   every variable with its value and comment\n"
    "  get    the value of the first line that sets NAME, as written (a quoted\n"
    "         value keeps its quotes); --bool (true/false, yes/no, on/off, 1/0),\n"
    "         --int, --uint and --double print it converted (a number the type\n"
    "         cannot hold, such as a negative one for --uint, is an error)\n"
    "  set    changes every line that sets NAME in place, keeping its layout (the\n"
    "         blanks before a comment too) and the comment of the first (--comment\n"
    "         replaces it on every line, --comment '' drops it), or appends\n"
    "         \"NAME = VALUE\" (\"NAME=VALUE\" with --compact); lines that already\n"
    "         hold it stay as they are\n"
    "  unset  removes the line that sets NAME; --all when several lines do\n"
    "Editing actions wait for the update lock while another edit of FILE runs,\n"
    "saying so after a second; --no-wait fails at once instead, --timeout SECONDS\n"
    "after that long (status 3, GENREG_RC_LOCKED).\n"
    "A file that holds NUL bytes is not a profile: every action refuses it (status 3)\n"
    "and leaves it as it is. A FILE that is a symbolic link edits the file it points\n"
    "to and stays a link.\n";

VarValRecord keyFor(const std::string& name) {
    VarValRecord key{};
    key.Contains = GENREG_VARVAL_HAS_VARIABLE;
    key.Variable = const_cast<char*>(name.c_str());
    return key;
}

// The comment of a parsed line without the blanks around it, or "".
std::string commentOf(const VarValRecord& record) {
    if (!(record.Contains & GENREG_VARVAL_HAS_COMMENT)) return "";
    return trimmed(ownText(record, record.Comment));
}

int list(Invocation* inv, GenRegVarVal* profile, const std::string& path) {
    struct Entry {
        std::string name, value, comment;
    };
    std::vector<Entry> entries;
    VarValRecord key = keyFor("");
    unsigned rc = scanRecords(profile, 0, &key, [&](const VarValRecord& record) {
        const char* name = ownText(record, record.Variable);
        const char* value = ownText(record, record.Value);
        // A line that did not parse (no "=", an open quote) has no value.
        if (!(record.Contains & GENREG_VARVAL_HAS_VARIABLE) || !name || !value) return;
        entries.push_back({name, value, commentOf(record)});
    });
    if (rc != 0) return reportLibraryFailure("list " + path, rc);
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("file");
        json.string(path);
        json.key("variables");
        json.beginArray();
        for (const Entry& entry : entries) {
            json.beginObject();
            json.key("name");
            json.string(entry.name);
            json.key("value");
            json.string(entry.value);
            json.key("comment");
            json.stringOrNull(entry.comment.empty() ? nullptr : entry.comment.c_str());
            json.endObject();
        }
        json.endArray();
        json.endObject();
        inv->out = json.finish();
        return kExitOk;
    }
    Table table{{"NAME", "VALUE", "COMMENT"}, {}};
    for (const Entry& entry : entries)
        table.addRow({entry.name, entry.value, cellText(entry.comment.c_str())});
    inv->out = table.render();
    return kExitOk;
}

// False when text is a number that a 64-bit integer of the kind cannot
// hold: beyond its range, or negative for an unsigned one. (The getters
// convert as strtoll and strtoull do, which clamp the one and wrap the
// other.) Whether the text is a number at all is the getters' business.
bool fitsInteger(const std::string& text, bool isSigned) {
    std::string number = trimmed(text.c_str());
    if (!isSigned && !number.empty() && number[0] == '-') return false;
    errno = 0;
    if (isSigned)
        std::strtoll(number.c_str(), nullptr, 0);
    else
        std::strtoull(number.c_str(), nullptr, 0);
    return errno != ERANGE;
}

// Everything but name and value: profile lines that differ only in the
// comment are not the same line for a set.
bool sameComment(const void* stored, const void* wanted) {
    auto commentText = [](const VarValRecord* r) {
        return (r->Contains & GENREG_VARVAL_HAS_COMMENT) ? trimmed(r->Comment) : std::string();
    };
    return commentText(static_cast<const VarValRecord*>(stored)) ==
           commentText(static_cast<const VarValRecord*>(wanted));
}

// Prints the value of name, converted as the type option asks.
int get(Invocation* inv, GenRegVarVal* profile, const std::string& path, const std::string& name) {
    int typeOptions = inv->has("bool") + inv->has("int") + inv->has("uint") + inv->has("double");
    if (typeOptions > 1)
        return reportUsage(kVerb, "give at most one of --bool, --int, --uint, --double");
    if (!fileExists(path))
        return reportLibraryFailure("get " + name + " in " + path, GENREG_RC_FILE_NOT_FOUND);
    // Get tells why a lookup failed; the typed getters below only say no.
    VarValRecord key = keyFor(name);
    VarValRecord found{};
    unsigned rc = profile->Get(GENREG_VARVAL_VARIABLE, &key, &found);
    if (rc != 0) return reportLibraryFailure("get " + name + " in " + path, rc);
    std::string text = ownText(found, found.Value) ? ownText(found, found.Value) : "";

    JsonWriter json;
    std::string plain;
    const char* asWhat = nullptr;
    bool converted = true;
    if (inv->has("bool")) {
        bool value = false;
        asWhat = "a boolean";
        converted = profile->GetBooleanValue(name.c_str(), &value);
        plain = value ? "true" : "false";
        json.boolean(value);
    } else if (inv->has("int")) {
        int64_t value = 0;
        asWhat = "a signed integer";
        converted = fitsInteger(text, true) && profile->GetSintValue(name.c_str(), &value);
        plain = std::to_string(value);
        json.number(value);
    } else if (inv->has("uint")) {
        uint64_t value = 0;
        asWhat = "an unsigned integer";
        converted = fitsInteger(text, false) && profile->GetUintValue(name.c_str(), &value);
        plain = std::to_string(value);
        json.unsignedNumber(value);
    } else if (inv->has("double")) {
        double value = 0;
        asWhat = "a number";
        converted = profile->GetDoubleValue(name.c_str(), &value);
        plain = formatReal(value);
        json.real(value);
    } else {
        plain = text;
        json.string(text);
    }
    if (!converted)
        return reportFailure(
            "cannot read " + name + " in " + path + " as " + asWhat + ": \"" + text + "\"",
            kExitFailed);
    if (inv->json) {
        JsonWriter doc;
        doc.beginObject();
        doc.key("name");
        doc.string(name);
        doc.key("value");
        doc.text += json.text;
        doc.endObject();
        inv->out = doc.finish();
    } else {
        inv->out = plain + "\n";
    }
    return kExitOk;
}

// Why value cannot be stored so that it reads back unchanged, or null.
const char* valueProblem(const std::string& value) {
    if (!isPlainText(value) || value.find('\t') != std::string::npos)
        return "a value cannot hold tabs or control characters";
    if (value.find('#') != std::string::npos)
        return "a value cannot hold '#' (it starts a comment)";
    if (!value.empty() && (value.front() == ' ' || value.back() == ' '))
        return "a value cannot start or end with a blank";
    if (!value.empty() && value.front() == '"') {
        if (value.size() < 2 || value.find('"', 1) != value.size() - 1)
            return "a quoted value must end with its closing quote";
    } else if (value.find("  ") != std::string::npos) {
        return "blanks in a value shrink to one unless it is quoted";
    }
    return nullptr;
}

int set(Invocation* inv, GenRegVarVal* profile, const std::string& path, const std::string& name,
        const std::string& value) {
    if (!isWord(name) || name.find('=') != std::string::npos)
        return reportUsage(kVerb, "a variable name is one word without '=' or '#'");
    if (const char* problem = valueProblem(value)) return reportUsage(kVerb, problem);
    const char* givenComment = inv->value("comment");
    if (givenComment && !isPlainText(givenComment))
        return reportUsage(kVerb, "a comment cannot hold control characters");
    if (inv->has("compact")) bCompactFormattedLine = true;

    std::string what = "set " + name + " in " + path;
    EditLock lock(profile);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    VarValRecord key = keyFor(name);
    VarValRecord old{};
    rc = fileExists(path) ? profile->Get(GENREG_VARVAL_VARIABLE, &key, &old)
                          : static_cast<unsigned>(GENREG_RC_NO_MATCH);
    if (rc != 0 && rc != GENREG_RC_NO_MATCH) return reportLibraryFailure(what, rc);
    bool exists = rc == 0;
    std::string oldComment = exists ? commentOf(old) : "";
    std::string comment = givenComment ? trimmed(givenComment) : oldComment;

    VarValRecord record{};
    record.Contains = GENREG_VARVAL_HAS_VARIABLE;
    record.Variable = const_cast<char*>(name.c_str());
    record.Value = const_cast<char*>(value.c_str());
    if (!comment.empty()) {
        record.Contains |= GENREG_VARVAL_HAS_COMMENT;
        record.Comment = const_cast<char*>(comment.c_str());
    }
    if (!exists) {
        rc = profile->Add(GENREG_VARVAL_VARIABLE, &record);
    } else {
        // Only the lines that differ from the record are rewritten; none
        // differing means every line already holds it.
        SetComparison comparison(profile, &record, sameComment);
        // The schema keeps the layout before the value; the blanks before
        // a kept or a new comment stay too.
        CommentLayout layout(profile, true);
        rc = profile->Change(GENREG_VARVAL_VARIABLE, &key, &record);
        if (rc == GENREG_RC_NO_MATCH) rc = 0;
    }
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    return kExitOk;
}

int unset(Invocation* inv, GenRegVarVal* profile, const std::string& path,
          const std::string& name) {
    std::string what = "unset " + name + " in " + path;
    if (!fileExists(path)) return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    EditLock lock(profile);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    VarValRecord key = keyFor(name);
    return deleteMatching(profile, GENREG_VARVAL_VARIABLE, &key, inv->has("all"), what,
                          "lines set it");
}

int run(Invocation* inv) {
    std::string error;
    if (inv->words.size() < 2)
        return reportUsage(kVerb, "give a FILE and one of list, get, set, unset");
    const std::string path = inv->words[0];
    const std::string action = inv->words[1];
    bool ok;
    if (action == "list") {
        ok = checkWordCount(*inv, 2, 2, &error) && checkOptions(*inv, {}, &error);
    } else if (action == "get") {
        ok = checkWordCount(*inv, 3, 3, &error) &&
             checkOptions(*inv, {"bool", "int", "uint", "double"}, &error);
    } else if (action == "set") {
        ok = checkWordCount(*inv, 4, 4, &error) &&
             checkOptions(*inv, {"comment", "compact", "no-wait", "timeout"}, &error);
    } else if (action == "unset") {
        ok = checkWordCount(*inv, 3, 3, &error) &&
             checkOptions(*inv, {"all", "no-wait", "timeout"}, &error);
    } else {
        return reportUsage(kVerb, "unknown action '" + action + "'");
    }
    uint32_t waitMs = 0;
    if (ok) ok = editWaitOf(*inv, &waitMs, &error);
    if (!ok) return reportUsage(kVerb, error);
    int status = refuseWrongKind(path, kKindText, "a profile");
    if (status != kExitOk) return status;

    unsigned rc = 0;
    GenRegVarVal profile(linkTargetPath(path).c_str(), &rc);
    if (rc != 0) return reportLibraryFailureAs("open " + path, rc, kExitFailed);
    if (action == "list") {
        if (!fileExists(path))
            return reportLibraryFailure("list " + path, GENREG_RC_FILE_NOT_FOUND);
        return list(inv, &profile, path);
    }
    if (action == "get") return get(inv, &profile, path, inv->words[2]);
    if (action == "set") return set(inv, &profile, path, inv->words[2], inv->words[3]);
    return unset(inv, &profile, path, inv->words[2]);
}

}  // namespace

const VerbEntry kProfileVerb = {kVerb, run, kOptions, kHelp};
