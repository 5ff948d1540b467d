// Quick start: keeps a small profile of "variable = value" lines with the
// library, then reads the values back with their types.
//
//   quickstart [PATH]   the profile to write (default quickstart.prf in the
//                       current directory); an existing file is replaced
#include <genreg/genreg.h>

#include <cinttypes>
#include <cstdio>

namespace {

int fail(const char* what, unsigned rc) {
    const char* name = genregRcName(rc);
    std::fprintf(stderr, "quickstart: %s failed: 0x%08x %s\n", what, rc, name ? name : "");
    return 1;
}

// A record that names one variable, with its value when value is not null.
VarValRecord entry(const char* name, const char* value) {
    VarValRecord record = {};
    record.Contains = GENREG_VARVAL_HAS_VARIABLE;
    record.Variable = const_cast<char*>(name);
    record.Value = const_cast<char*>(value);
    return record;
}

// The profile starts as a comment line; the library adds the rest.
bool writeHeader(const char* path) {
    FILE* file = std::fopen(path, "w");
    if (!file) return false;
    bool written = std::fputs("# written by the genreg quick start\n", file) >= 0;
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "quickstart.prf";
    if (!writeHeader(path)) {
        std::fprintf(stderr, "quickstart: cannot write %s\n", path);
        return 1;
    }

    unsigned rc = 0;
    GenRegVarVal profile(path, &rc);
    if (rc) return fail("opening the profile", rc);

    const char* const values[][2] = {
        {"name", "quickstart"}, {"port", "50000"},   {"offset", "-42"},
        {"ratio", "0.75"},      {"enabled", "true"},
    };
    for (const auto& value : values) {
        VarValRecord record = entry(value[0], value[1]);
        rc = profile.Add(GENREG_VARVAL_VARIABLE | GENREG_VARVAL_VALUE, &record);
        if (rc) return fail("adding a line", rc);
    }

    // Change the port in place: the line keeps its position and layout.
    VarValRecord key = entry("port", nullptr);
    VarValRecord newPort = entry("port", "50001");
    rc = profile.Change(GENREG_VARVAL_VARIABLE, &key, &newPort);
    if (rc) return fail("changing the port", rc);

    // The text GetStringValue gives lives in the handle until its next
    // getter call: print it before reading anything else.
    const char* name = nullptr;
    if (!profile.GetStringValue("name", &name)) {
        std::fprintf(stderr, "quickstart: name could not be read back from %s\n", path);
        return 1;
    }
    std::printf("%s:\n", path);
    std::printf("  name    = %s (string)\n", name);

    uint64_t port = 0;
    int64_t offset = 0;
    double ratio = 0;
    bool enabled = false;
    if (!profile.GetUintValue("port", &port) || !profile.GetSintValue("offset", &offset) ||
        !profile.GetDoubleValue("ratio", &ratio) || !profile.GetBooleanValue("enabled", &enabled)) {
        std::fprintf(stderr, "quickstart: a value could not be read back from %s\n", path);
        return 1;
    }
    std::printf("  port    = %" PRIu64 " (unsigned)\n", port);
    std::printf("  offset  = %" PRId64 " (signed)\n", offset);
    std::printf("  ratio   = %g (double)\n", ratio);
    std::printf("  enabled = %s (boolean)\n", enabled ? "true" : "false");

    const char* missing = nullptr;
    std::printf("  missing = %s\n",
                profile.GetStringValue("missing", &missing) ? missing : "(not in the profile)");
    return 0;
}
