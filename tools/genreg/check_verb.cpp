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

#include "args.h"
#include "cli.h"
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
    if (judgeFileKind(path, kKindBinVar).matches && !judgeFileKind(path, kKindText).matches)
        return kCheckBinVar;
    if (judgeFileKind(path, kKindGlobal).matches && !judgeFileKind(path, kKindText).matches)
        return kCheckGlobal;
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

// Puts the backup back as the file, holding the update lock so that no
// update runs meanwhile; the file's absence is checked again under it.
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

int runCheck(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 1, 1, &error) || !checkOptions(*inv, {"kind", "restore"}, &error))
        return reportUsage(kVerb, error);
    const std::string given = inv->words[0];
    const std::string path = linkTargetPath(given);
    CheckKind kind = kCheckProfile;
    if (const char* text = inv->value("kind")) {
        const char* const names[] = {"profile", "services", "binvar", "global"};
        bool known = false;
        for (int i = 0; i < 4; ++i)
            if (std::string(text) == names[i]) {
                kind = static_cast<CheckKind>(i);
                known = true;
            }
        if (!known) return reportUsage(kVerb, "--kind is profile, services, binvar or global");
    } else {
        kind = guessKind(path);
    }

    Companions names = companionsOf(path);
    bool attention = false;
    bool restored = false;
    std::string& out = inv->out;
    // A named pipe or device at the name is neither the file nor its
    // absence: it is reported, and never replaced by the backup.
    KindVerdict verdict = judgeFileKind(path, kFileKinds[kind]);
    bool nonRegular = !verdict.nonRegular.empty();
    bool fileThere = !nonRegular && fileExists(path);
    if (!fileThere && !nonRegular && present(names.backup) && inv->has("restore")) {
        int status = restore(path, names);
        if (status != kExitOk) return status;
        restored = true;
        fileThere = true;
        out += names.backup + ": put back as " + path + "\n";
    }

    LockState lock = probeUpdateLock(names.lock);
    if (nonRegular) {
        attention = true;
        out += kindProblem(path, verdict, kNouns[kind]) + "\n";
    } else if (!fileThere) {
        attention = present(names.backup) || present(names.temp) || present(names.marker);
        out += path + ": missing" +
               (present(names.backup)
                    ? std::string(": an update stopped between setting the file aside as its "
                                  "backup and putting the new copy in its place; "
                                  "genreg check " +
                                  given + " --restore puts the backup back")
                    : std::string()) +
               "\n";
    } else {
        if (restored) verdict = judgeFileKind(path, kFileKinds[kind]);
        unsigned count = 0;
        unsigned rc = verdict.matches ? readWhole(path, kind, &count) : 0;
        if (!verdict.matches) {
            attention = true;
            out += kindProblem(path, verdict, kNouns[kind]) + "\n";
        } else if (rc != 0) {
            attention = true;
            out += path + ": does not read whole: " + rcText(rc) + " (genreg rc explains it)\n";
        } else {
            out += path + ": reads whole (" + std::to_string(count) +
                   (count == 1 ? " record)\n" : " records)\n");
        }
    }

    if (!restored && present(names.backup) && fileThere) {
        attention = attention || lock != kLockHeld;
        out += names.backup +
               (lock == kLockHeld
                    ? ": the previous content, kept while the running update swaps its copy in\n"
                    : ": the previous content, left by an update that swapped its copy in but "
                      "stopped before removing the backup; the file holds the new content: "
                      "remove the backup when it is not needed\n");
    }
    if (present(names.temp)) {
        attention = attention || lock != kLockHeld;
        out += names.temp +
               (lock == kLockHeld
                    ? ": the copy of the update that is running now\n"
                    : ": the copy of an update that was interrupted; the file does not hold "
                      "its content, and the next update sets it aside as " +
                          names.marker + "\n");
    }
    if (present(names.marker)) {
        attention = true;
        out += names.marker +
               ": the copy of an update that was interrupted or failed, set aside by a later "
               "update; the file does not hold its content: look at it, then remove it\n";
    }
    if (lock == kLockHeld) {
        attention = true;
        out += names.lock + ": held now by an update that is running: wait for it to end\n";
    } else if (lock == kLockStale) {
        out += names.lock +
               ": left over by an update that ended without removing it; harmless (the next "
               "update takes it and removes it)\n";
    } else if (lock == kLockUnknown) {
        attention = true;
        out += names.lock + ": cannot be opened to see whether an update holds it\n";
    }
    out += attention ? "needs attention\n" : "all is well\n";
    if (!attention) return kExitOk;
    // The report is the answer whatever the status: print it here, as the
    // command prints standard output itself only on success.
    std::fputs(out.c_str(), stdout);
    out.clear();
    return kExitNotFound;
}

}  // namespace

const VerbEntry kCheckVerb = {kVerb, runCheck, kOptions, kHelp};
