// genreg check FILE: what the companions beside a registry file mean after
// a crash, whether the file reads whole, and what to do; --restore puts a
// swap's backup back when the file itself is missing.
#include <genreg/binvarval.h>
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <genreg/services.h>
#include <genreg/varval.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "args.h"
#include "cli.h"
#include "codes.h"
#include "diagnosis.h"
#include "file_kind.h"
#include "file_link.h"
#include "lock_probe.h"
#include "output.h"
#include "store.h"

namespace {

const char kVerb[] = "check";

const OptionRule kOptions[] = {{"kind", true}, {"restore", false}, {nullptr, false}};

const char kHelp[] =
    "usage: genreg check FILE [--kind profile|services|binvar|global] [--restore]\n"
    "\n"
    "Says what each companion file beside FILE means, whether FILE itself reads\n"
    "whole, and what to do:\n"
    "  FILE.tmp    the copy of an update that is running now (the lock is held) or\n"
    "              was interrupted; the next update sets it aside as FILE.cor\n"
    "  FILE.cor    the copy of an interrupted or failed update, set aside; FILE does\n"
    "              not hold its content\n"
    "  .FILE.bkp   the file's previous content, kept while an update swaps the copy\n"
    "              in; alone, with FILE missing, it is the file itself\n"
    "  .FILE.lock  held now by a running update, or left over (harmless)\n"
    "--kind says how to read FILE (default: binvar or global when its records are\n"
    "of that kind, else profile). --restore puts .FILE.bkp back as FILE, under the\n"
    "update lock, when FILE is missing; nothing else is ever changed.\n"
    "--json prints the same findings as one JSON document.\n"
    "Exit status: 0 all is well, 1 something needs attention.\n";

enum CheckKind { kCheckProfile, kCheckServices, kCheckBinVar, kCheckGlobal };

namespace fs = std::filesystem;

bool present(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// The companion names the library derives: the lock and the backup are
// dot files beside the file, the copy and the marker carry suffixes.
struct Companions {
    std::string temp, marker, backup, lock;
};

Companions companionsOf(const std::string& path) {
    fs::path file(path);
    std::string base = file.filename().string();
    std::string dir = file.parent_path().string();
    std::string prefix = dir.empty() ? "" : dir + std::string(1, fs::path::preferred_separator);
    return {path + ".tmp", path + ".cor", prefix + "." + base + ".bkp",
            prefix + "." + base + ".lock"};
}

CheckKind guessKind(const std::string& path) {
    KindVerdict verdicts[kKindCount];
    judgeEveryKind(path, verdicts);
    bool text = verdicts[kKindText].matches;
    if (verdicts[kKindBinVar].matches && !text) return kCheckBinVar;
    if (verdicts[kKindGlobal].matches && !text) return kCheckGlobal;
    return kCheckProfile;
}

template <typename Handle, typename Record>
unsigned countWith(Handle* handle, Record* key, unsigned* count) {
    return countRecords(handle, 0, key, count);
}

// Reads every record of the file; 0 and *count, or the failure.
unsigned readWhole(const std::string& path, CheckKind kind, unsigned* count) {
    unsigned rc = 0;
    switch (kind) {
        case kCheckProfile: {
            GenRegVarVal handle(path.c_str(), &rc);
            if (rc != 0) return rc;
            VarValRecord key{};
            return countWith(&handle, &key, count);
        }
        case kCheckServices: {
            GenRegServices handle(path.c_str(), &rc);
            if (rc != 0) return rc;
            ServicesRecord key{};
            return countWith(&handle, &key, count);
        }
        case kCheckBinVar: {
            GenRegBinVarVal handle(path.c_str(), &rc);
            if (rc != 0) return rc;
            BinVarValRecord key{};
            return countWith(&handle, &key, count);
        }
        default: {
            setEnvironment("QVR_GLOBAL_REG_PATHNAME", path);
            GlobalReg handle;
            std::vector<GlobalRegRecord> key(32);
            return countWith(&handle, key.data(), count);
        }
    }
}

const FileKind kFileKinds[] = {kKindText, kKindText, kKindBinVar, kKindGlobal};
const char* const kNouns[] = {"a profile", "a services file", "a binary variable/value file",
                              "a global registry file"};

// What a companion's name holds when it is not a regular file, else "". An
// update only ever leaves a regular file at the backup's name; a symbolic link, a named
// pipe or a directory was put there by someone else, and renamed into the
// file's place it would steer every later edit (they follow a link at the
// file's name) or refuse them all. The name itself is looked at, not what a
// link points to.
std::string companionNotRegular(const std::string& backup) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(backup, error);
    if (fs::is_symlink(status)) return "a symbolic link";
    if (fs::is_regular_file(status) || !fs::exists(status)) return "";
    std::string kind = nonRegularKindOf(backup);
    return kind.empty() ? "something else" : kind;
}

// Puts the backup back as the file, holding the update lock so that no
// update runs meanwhile; the file's absence and the backup's type are
// checked again under it.
int restore(const std::string& path, const Companions& names) {
    unsigned rc = 0;
    GenRegVarVal handle(path.c_str(), &rc);
    if (rc != 0) return reportLibraryFailureAs("restore " + path, rc, kExitFailed);
    rc = handle.LockForUpdate(GENREG_WAIT_NONE);
    if (rc != 0) return reportLibraryFailureAs("restore " + path, rc, kExitFailed);
    int status = kExitOk;
    std::error_code error;
    if (present(path) || !present(names.backup)) {
        status = reportFailure("cannot restore " + path + ": the file exists or its backup is gone",
                               kExitFailed);
    } else if (std::string odd = companionNotRegular(names.backup); !odd.empty()) {
        status = reportFailure("cannot restore " + path + ": its backup " + names.backup + " is " +
                                   odd + ", not a regular file",
                               kExitFailed);
    } else {
        fs::rename(names.backup, path, error);
        if (error)
            status = reportFailure(
                "cannot restore " + path + " from " + names.backup + ": " + error.message(),
                kExitFailed);
    }
    unsigned unlockRc = handle.UnlockForUpdate();
    if (unlockRc != 0 && status == kExitOk)
        status =
            reportLibraryFailureAs("release the update lock of " + path, unlockRc, kExitFailed);
    return status;
}

// What check found, rendered as text lines or as one JSON document.
struct Finding {
    std::string path;
    const char* role;   // JSON: "copy", "setAside", "backup" or "lock"
    const char* state;  // JSON: see docs/cli.md
    std::string line;   // the text report's line
};

struct Report {
    std::string file;
    const char* kind = "profile";
    // "whole", "missing", "damaged", "unreadable", "otherKind", "notRegular"
    const char* state = "whole";
    std::string line;          // the file's line of the text report
    unsigned records = 0;      // when whole
    unsigned rc = 0;           // the failure of a file that does not read whole
    bool restorable = false;   // missing beside its backup, not put back
    std::string restoredLine;  // set when --restore put the backup back
    std::vector<Finding> companions;
    bool attention = false;
};

std::string reportText(const Report& report) {
    std::string out = report.restoredLine + report.line;
    for (const Finding& finding : report.companions)
        out += finding.line;
    return out + (report.attention ? "needs attention\n" : "all is well\n");
}

std::string withoutNewline(const std::string& line) {
    return line.substr(0, line.size() - 1);
}

std::string reportJson(const Report& report) {
    JsonWriter json;
    json.beginObject();
    json.key("file");
    json.string(report.file);
    json.key("kind");
    json.string(report.kind);
    json.key("state");
    json.string(report.state);
    json.key("records");
    if (std::string(report.state) == "whole")
        json.unsignedNumber(report.records);
    else
        json.null();
    json.key("code");
    if (report.rc != 0) {
        CodeInfo info{};
        json.beginObject();
        json.key("name");
        json.stringOrNull(lookUpCode(report.rc, &info) ? info.name : nullptr);
        json.key("value");
        json.string(rcValueText(report.rc));
        json.endObject();
    } else {
        json.null();
    }
    json.key("message");
    json.string(withoutNewline(report.line));
    json.key("restorable");
    json.boolean(report.restorable);
    json.key("restored");
    json.boolean(!report.restoredLine.empty());
    json.key("companions");
    json.beginArray();
    for (const Finding& finding : report.companions) {
        json.beginObject();
        json.key("path");
        json.string(finding.path);
        json.key("role");
        json.string(finding.role);
        json.key("state");
        json.string(finding.state);
        json.key("message");
        json.string(withoutNewline(finding.line));
        json.endObject();
    }
    json.endArray();
    json.key("attention");
    json.boolean(report.attention);
    json.endObject();
    return json.finish();
}

int runCheck(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 1, 1, &error) || !checkOptions(*inv, {"kind", "restore"}, &error))
        return reportUsage(kVerb, error);
    const std::string given = inv->words[0];
    const std::string path = linkTargetPath(given);
    const char* const kindNames[] = {"profile", "services", "binvar", "global"};
    CheckKind kind = kCheckProfile;
    if (const char* text = inv->value("kind")) {
        bool known = false;
        for (int i = 0; i < 4; ++i)
            if (std::string(text) == kindNames[i]) {
                kind = static_cast<CheckKind>(i);
                known = true;
            }
        if (!known) return reportUsage(kVerb, "--kind is profile, services, binvar or global");
    } else {
        kind = guessKind(path);
    }

    Companions names = companionsOf(path);
    Report report;
    report.file = path;
    report.kind = kindNames[kind];
    // A named pipe or device at the name is neither the file nor its
    // absence: it is reported, and never replaced by the backup.
    KindVerdict verdict = judgeFileKind(path, kFileKinds[kind]);
    bool nonRegular = !verdict.nonRegular.empty();
    bool fileThere = !nonRegular && fileExists(path);
    if (!fileThere && !nonRegular && present(names.backup) && inv->has("restore")) {
        int status = restore(path, names);
        if (status != kExitOk) return status;
        fileThere = true;
        report.restoredLine = names.backup + ": put back as " + path + "\n";
    }
    const bool restored = !report.restoredLine.empty();

    LockState lock = probeUpdateLock(names.lock);
    if (nonRegular) {
        report.attention = true;
        report.state = "notRegular";
        report.line = kindProblem(path, verdict, kNouns[kind]) + "\n";
    } else if (!fileThere) {
        report.attention = present(names.backup) || present(names.temp) || present(names.marker);
        report.state = "missing";
        const std::string odd = companionNotRegular(names.backup);
        report.restorable = present(names.backup) && odd.empty();
        report.line = path + ": missing" +
                      (!odd.empty() ? ": its backup " + names.backup + " is " + odd +
                                          ", not a regular file an update leaves: look at it, then "
                                          "remove it"
                       : report.restorable
                           ? std::string(": an update stopped between setting the file aside as "
                                         "its backup and putting the new copy in its place; "
                                         "genreg check " +
                                         given + " --restore puts the backup back")
                           : std::string()) +
                      "\n";
    } else {
        if (restored) verdict = judgeFileKind(path, kFileKinds[kind]);
        unsigned count = 0;
        unsigned rc = verdict.matches ? readWhole(path, kind, &count) : 0;
        if (!verdict.matches) {
            report.attention = true;
            report.state = verdict.damage.empty() ? "otherKind" : "damaged";
            report.line = kindProblem(path, verdict, kNouns[kind]) + "\n";
        } else if (rc != 0) {
            report.attention = true;
            report.state = "unreadable";
            report.rc = rc;
            // The cause the library logged, when it tells one (an over-long
            // line: its number and length).
            std::string cause = failureCause();
            report.line = path + ": does not read whole: " + rcText(rc) +
                          (cause.empty() ? " (genreg rc explains it)" : ": " + cause) + "\n";
        } else {
            report.records = count;
            report.line = path + ": reads whole (" + std::to_string(count) +
                          (count == 1 ? " record)\n" : " records)\n");
        }
    }

    // The library refuses a lock name that holds no regular file or one
    // with a second name (GENREG_RC_NOT_REGULAR_FILE): every update fails
    // until a person removes it, so it is never a harmless left-over.
    std::string lockOdd = companionNotRegular(names.lock);
    std::error_code linkError;
    if (lockOdd.empty() && present(names.lock) && fs::hard_link_count(names.lock, linkError) > 1 &&
        !linkError)
        lockOdd = "a file with a second name";
    if (!lockOdd.empty()) lock = kLockAbsent;
    const bool held = lock == kLockHeld;
    auto add = [&](const std::string& companion, const char* role, const char* state,
                   bool attention, const std::string& meaning) {
        report.companions.push_back({companion, role, state, companion + meaning + "\n"});
        report.attention = report.attention || attention;
    };
    if (!restored && present(names.backup) && fileThere)
        add(names.backup, "backup", held ? "running" : "leftOver", !held,
            held ? ": the previous content, kept while the running update swaps its copy in"
                 : ": the previous content, left by an update that swapped its copy in but "
                   "stopped before removing the backup; the file holds the new content: "
                   "remove the backup when it is not needed");
    if (present(names.temp))
        add(names.temp, "copy", held ? "running" : "interrupted", !held,
            held ? std::string(": the copy of the update that is running now")
                 : ": the copy of an update that was interrupted; the file does not hold its "
                   "content, and the next update sets it aside as " +
                       names.marker);
    if (present(names.marker))
        add(names.marker, "setAside", "leftOver", true,
            ": the copy of an update that was interrupted or failed, set aside by a later "
            "update; the file does not hold its content: look at it, then remove it");
    if (!lockOdd.empty())
        add(names.lock, "lock", "notRegular", true,
            ": " + lockOdd +
                ", not a regular file of its own: every update refuses it until it is removed");
    else if (held)
        add(names.lock, "lock", "held", true,
            ": held now by an update that is running: wait for it to end");
    else if (lock == kLockStale)
        add(names.lock, "lock", "stale", false,
            ": left over by an update that ended without removing it; harmless (the next "
            "update takes it and removes it)");
    else if (lock == kLockUnknown)
        add(names.lock, "lock", "unknown", true,
            ": cannot be opened to see whether an update holds it");

    inv->out = inv->json ? reportJson(report) : reportText(report);
    if (!report.attention) return kExitOk;
    // The report is the answer whatever the status: print it here, as the
    // command prints standard output itself only on success.
    std::fputs(inv->out.c_str(), stdout);
    inv->out.clear();
    return kExitNotFound;
}

}  // namespace

const VerbEntry kCheckVerb = {kVerb, runCheck, kOptions, kHelp};
