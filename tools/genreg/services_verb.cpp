// genreg services FILE list | get | add | set | remove: a services file of
// "name port/protocol aliases  # comment" lines through GenRegServices.
#include <genreg/rc.h>
#include <genreg/services.h>

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

const char kVerb[] = "services";

const OptionRule kOptions[] = {
    {"port", true},     {"proto", true},   {"comment", true}, {"aliases", true},
    {"no-wait", false}, {"timeout", true}, {nullptr, false},
};

const char kHelp[] =
    "usage: genreg services FILE list\n"
    "       genreg services FILE get NAME [--port N] [--proto P]\n"
    "       genreg services FILE add NAME PORT/PROTO [ALIAS...] [--comment TEXT]\n"
    "       genreg services FILE set NAME PORT/PROTO [ALIAS...] [--comment TEXT]\n"
    "       genreg services FILE remove NAME [--proto P]\n"
    "\n"
    "A services file holds lines of \"name port/protocol aliases  # comment\"; the\n"
    "protocol is one of tcp, udp, ddp, divert. A name and a protocol make an entry's key.\n"
    "  list    every entry\n"
    "  get     the entries named NAME, narrowed by --port and --proto\n"
    "  add     appends a new entry; fails when NAME already has one for PROTO\n"
    "  set     rewrites the entry of NAME and PROTO in place with the port given,\n"
    "          keeping its aliases unless ALIAS words or --aliases 'A B' are given\n"
    "          (--aliases '' drops them) and its comment, with the blanks before\n"
    "          it, unless --comment is given; or adds it\n"
    "  remove  removes the entry of NAME (of NAME and --proto when it has several)\n"
    "Editing actions wait for the update lock while another edit of FILE runs,\n"
    "saying so after a second; --no-wait fails at once instead, --timeout SECONDS\n"
    "after that long (status 3, GENREG_RC_LOCKED).\n"
    "A file that holds NUL bytes is not a services file: every action refuses it\n"
    "(status 3) and leaves it as it is. A FILE that is a symbolic link edits the\n"
    "file it points to and stays a link.\n";

const char* const kProtocols[] = {"tcp", "udp", "ddp", "divert"};

// The record's port is kept in network byte order.
uint16_t portOf(const ServicesRecord& record) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record.port);
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

void setPort(ServicesRecord* record, uint16_t port) {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&record->port);
    bytes[0] = static_cast<unsigned char>(port >> 8);
    bytes[1] = static_cast<unsigned char>(port & 0xff);
}

struct Entry {
    std::string name;
    uint16_t port = 0;
    std::string protocol;  // "" when the line had none
    std::vector<std::string> aliases;
    std::string comment;
};

bool entryOf(const ServicesRecord& record, Entry* entry) {
    const char* name = ownText(record, record.name);
    if (!(record.Contains & GENREG_SERVICES_ENTRY) || !name) return false;
    entry->name = name;
    entry->port = portOf(record);
    const char* protocol = ownText(record, record.protocol);
    entry->protocol = protocol ? protocol : "";
    entry->aliases.clear();
    if (record.aliases == record.aliasTable) {
        for (size_t i = 0; i < GENREG_SERVICES_ALIAS_SLOTS && record.aliasTable[i]; ++i)
            if (const char* alias = ownText(record, record.aliasTable[i]))
                entry->aliases.push_back(alias);
    }
    entry->comment = trimmed(ownText(record, record.comment));
    return true;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

void printEntries(Invocation* inv, const std::string& path, const std::vector<Entry>& entries) {
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("file");
        json.string(path);
        json.key("services");
        json.beginArray();
        for (const Entry& entry : entries) {
            json.beginObject();
            json.key("name");
            json.string(entry.name);
            json.key("port");
            if (entry.port) {
                json.number(entry.port);
            } else {
                json.null();
            }
            json.key("protocol");
            json.stringOrNull(entry.protocol.empty() ? nullptr : entry.protocol.c_str());
            json.key("aliases");
            json.beginArray();
            for (const std::string& alias : entry.aliases)
                json.string(alias);
            json.endArray();
            json.key("comment");
            json.stringOrNull(entry.comment.empty() ? nullptr : entry.comment.c_str());
            json.endObject();
        }
        json.endArray();
        json.endObject();
        inv->out = json.finish();
        return;
    }
    Table table{{"NAME", "PORT", "PROTOCOL", "ALIASES", "COMMENT"}, {}};
    for (const Entry& entry : entries)
        table.addRow({entry.name, entry.port ? std::to_string(entry.port) : "-",
                      cellText(entry.protocol.c_str()), cellText(joined(entry.aliases).c_str()),
                      cellText(entry.comment.c_str())});
    inv->out = table.render();
}

ServicesRecord keyFor(const std::string& name, const char* protocol) {
    ServicesRecord key{};
    key.Contains = GENREG_SERVICES_ENTRY;
    key.name = const_cast<char*>(name.c_str());
    key.protocol = const_cast<char*>(protocol);
    return key;
}

bool knownProtocol(const std::string& protocol) {
    for (const char* known : kProtocols)
        if (protocol == known) return true;
    return false;
}

// Reads "PORT/PROTO"; false and *error when it is not a port 1 to 65535 and
// a known protocol.
bool parsePortProtocol(const std::string& text, uint16_t* port, std::string* protocol,
                       std::string* error) {
    size_t slash = text.find('/');
    uint32_t number = 0;
    if (slash == std::string::npos || !parseUint32(text.substr(0, slash).c_str(), &number) ||
        number == 0 || number > 65535) {
        *error = "'" + text + "' is not PORT/PROTO with a port from 1 to 65535";
        return false;
    }
    *protocol = text.substr(slash + 1);
    if (!knownProtocol(*protocol)) {
        *error = "the protocol must be one of tcp, udp, ddp, divert";
        return false;
    }
    *port = static_cast<uint16_t>(number);
    return true;
}

int list(Invocation* inv, GenRegServices* services, const std::string& path, uint64_t selector,
         ServicesRecord* key, const std::string& what) {
    std::vector<Entry> entries;
    unsigned rc = scanRecords(services, selector, key, [&](const ServicesRecord& record) {
        Entry entry;
        if (entryOf(record, &entry)) entries.push_back(entry);
    });
    if (rc != 0) return reportLibraryFailure(what, rc);
    if (selector != 0 && entries.empty()) return reportLibraryFailure(what, GENREG_RC_NO_MATCH);
    printEntries(inv, path, entries);
    return kExitOk;
}

int get(Invocation* inv, GenRegServices* services, const std::string& path,
        const std::string& name) {
    std::string what = "get " + name + " in " + path;
    ServicesRecord key = keyFor(name, inv->value("proto"));
    uint64_t selector = GENREG_SERVICES_NAME;
    if (inv->has("proto")) selector |= GENREG_SERVICES_PROTOCOL;
    if (const char* portText = inv->value("port")) {
        uint32_t port = 0;
        if (!parseUint32(portText, &port) || port == 0 || port > 65535)
            return reportUsage(kVerb, "--port takes a port from 1 to 65535");
        setPort(&key, static_cast<uint16_t>(port));
        selector |= GENREG_SERVICES_PORT;
    }
    if (!fileExists(path)) return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    return list(inv, services, path, selector, &key, what);
}

// The words of text, split at blanks and tabs.
std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        size_t end = text.find_first_of(" \t", at);
        words.push_back(text.substr(at, end == std::string::npos ? end : end - at));
        at = end;
    }
    return words;
}

// What a set leaves to the schema's equality of name, port and protocol:
// the aliases and the comment.
Entry restOf(const void* record) {
    const ServicesRecord* r = static_cast<const ServicesRecord*>(record);
    Entry rest;
    if (r->aliases)
        for (char** alias = r->aliases; *alias; ++alias)
            rest.aliases.push_back(*alias);
    if (r->Contains & GENREG_SERVICES_COMMENT) rest.comment = trimmed(r->comment);
    return rest;
}

bool sameAliasesAndComment(const void* stored, const void* wanted) {
    Entry a = restOf(stored), b = restOf(wanted);
    return a.aliases == b.aliases && a.comment == b.comment;
}

// add and set: words are NAME PORT/PROTO ALIAS...
int write(Invocation* inv, GenRegServices* services, const std::string& path, bool add) {
    const std::string& name = inv->words[2];
    std::string error;
    uint16_t port = 0;
    std::string protocol;
    if (!isWord(name)) return reportUsage(kVerb, "a service name is one word without '#'");
    if (!parsePortProtocol(inv->words[3], &port, &protocol, &error))
        return reportUsage(kVerb, error);
    std::vector<std::string> aliases(inv->words.begin() + 4, inv->words.end());
    const char* givenAliases = inv->value("aliases");
    if (givenAliases && !aliases.empty())
        return reportUsage(kVerb, "give the aliases as words or with --aliases, not both");
    if (givenAliases) aliases = wordsOf(givenAliases);
    if (aliases.size() >= GENREG_SERVICES_ALIAS_SLOTS)
        return reportUsage(kVerb, "too many aliases");
    const bool aliasesGiven = givenAliases || !aliases.empty();
    for (const std::string& alias : aliases)
        if (!isWord(alias)) return reportUsage(kVerb, "an alias is one word without '#'");
    const char* givenComment = inv->value("comment");
    if (givenComment && !isPlainText(givenComment))
        return reportUsage(kVerb, "a comment cannot hold control characters");

    std::string what = (add ? "add " + name + " to " : "set " + name + " in ") + path;
    const uint64_t keySelector = GENREG_SERVICES_NAME | GENREG_SERVICES_PROTOCOL;
    EditLock lock(services);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    ServicesRecord key = keyFor(name, protocol.c_str());
    Entry old;
    bool exists = false;
    if (!add && fileExists(path)) {
        unsigned count = 0;
        rc = countRecords(services, keySelector, &key, &count);
        if (rc != 0) return reportLibraryFailure(what, rc);
        if (count > 1)
            return reportFailure("cannot " + what + ": " + std::to_string(count) +
                                     " entries have that name and protocol (a services file "
                                     "keeps one; remove the others first)",
                                 kExitFailed);
        ServicesRecord found{};
        rc = services->Get(keySelector, &key, &found);
        if (rc != 0 && rc != GENREG_RC_NO_MATCH) return reportLibraryFailure(what, rc);
        exists = rc == 0 && entryOf(found, &old);
    }
    std::string comment = givenComment ? trimmed(givenComment) : old.comment;
    if (!aliasesGiven) aliases = old.aliases;

    ServicesRecord record = keyFor(name, protocol.c_str());
    setPort(&record, port);
    std::vector<char*> aliasTable;
    for (std::string& alias : aliases)
        aliasTable.push_back(&alias[0]);
    aliasTable.push_back(nullptr);
    if (!aliases.empty()) record.aliases = aliasTable.data();
    if (!comment.empty()) {
        record.Contains |= GENREG_SERVICES_COMMENT;
        record.comment = const_cast<char*>(comment.c_str());
    }
    if (!exists) {
        rc = services->Add(keySelector, &record);
    } else {
        // The entry is rewritten only when it differs from the record.
        SetComparison comparison(services, &record, sameAliasesAndComment);
        // The schema lays the line out with tabs of its own: only a kept
        // comment keeps the blanks before it.
        CommentLayout layout(services, false);
        rc = services->Change(keySelector, &key, &record);
        if (rc == GENREG_RC_NO_MATCH) rc = 0;
    }
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    return kExitOk;
}

int remove(Invocation* inv, GenRegServices* services, const std::string& path,
           const std::string& name) {
    std::string what = "remove " + name + " from " + path;
    const char* protocol = inv->value("proto");
    if (protocol && !knownProtocol(protocol))
        return reportUsage(kVerb, "the protocol must be one of tcp, udp, ddp, divert");
    if (!fileExists(path)) return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    EditLock lock(services);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    ServicesRecord key = keyFor(name, protocol);
    uint64_t selector =
        GENREG_SERVICES_NAME | (protocol ? uint64_t{GENREG_SERVICES_PROTOCOL} : uint64_t{0});
    return deleteMatching(services, selector, &key, protocol != nullptr, what,
                          "entries have that name", "use --proto to say which");
}

int run(Invocation* inv) {
    std::string error;
    if (inv->words.size() < 2)
        return reportUsage(kVerb, "give a FILE and one of list, get, add, set, remove");
    const std::string path = inv->words[0];
    const std::string action = inv->words[1];
    bool ok;
    if (action == "list") {
        ok = checkWordCount(*inv, 2, 2, &error) && checkOptions(*inv, {}, &error);
    } else if (action == "get") {
        ok = checkWordCount(*inv, 3, 3, &error) && checkOptions(*inv, {"port", "proto"}, &error);
    } else if (action == "add" || action == "set") {
        ok = checkWordCount(*inv, 4, 4 + GENREG_SERVICES_ALIAS_SLOTS - 1, &error) &&
             checkOptions(*inv, {"comment", "aliases", "no-wait", "timeout"}, &error);
    } else if (action == "remove") {
        ok = checkWordCount(*inv, 3, 3, &error) &&
             checkOptions(*inv, {"proto", "no-wait", "timeout"}, &error);
    } else {
        return reportUsage(kVerb, "unknown action '" + action + "'");
    }
    uint32_t waitMs = 0;
    if (ok) ok = editWaitOf(*inv, &waitMs, &error);
    if (!ok) return reportUsage(kVerb, error);
    int status = refuseWrongKind(path, kKindText, "a services file");
    if (status != kExitOk) return status;

    unsigned rc = 0;
    GenRegServices services(linkTargetPath(path).c_str(), &rc);
    if (rc != 0) return reportLibraryFailureAs("open " + path, rc, kExitFailed);
    if (action == "list") {
        if (!fileExists(path))
            return reportLibraryFailure("list " + path, GENREG_RC_FILE_NOT_FOUND);
        ServicesRecord key = keyFor("", nullptr);
        return list(inv, &services, path, 0, &key, "list " + path);
    }
    if (action == "get") return get(inv, &services, path, inv->words[2]);
    if (action == "add" || action == "set") return write(inv, &services, path, action == "add");
    return remove(inv, &services, path, inv->words[2]);
}

}  // namespace

const VerbEntry kServicesVerb = {kVerb, run, kOptions, kHelp};
