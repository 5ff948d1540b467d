// A machine's product registry, services, remote registry and cluster
// registry described once in a small table and made real by the backend's
// helper: export files and environment variables on POSIX; keys below a
// scratch key standing in for HKEY_LOCAL_MACHINE, services of the service
// control manager and the test cluster library's registry on Windows.
//
//   dir_test::Machine machine({
//       {dir_test::LOCAL, "SOFTWARE\\Tavrin\\QVR\\INSTALLEDCOPIES\\A", "QVR Path Name", "C:\\A"},
//       {dir_test::SERVICE, "INST$", nullptr, "2"},
//   });
//   ASSERT_TRUE(machine.ok()) << machine.why();
//
// In key, value and data texts, "$" stands for a token unique to the test
// (service names are shared by every process of a Windows prefix) and
// "%M" for the name of the remote machine that REMOTE rows describe.
#ifndef GENREG_TESTS_DIR_MACHINE_H
#define GENREG_TESTS_DIR_MACHINE_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace dir_test {

enum Where {
    LOCAL,    // key below HKEY_LOCAL_MACHINE
    REMOTE,   // key below HKEY_LOCAL_MACHINE of the remote machine
    CLUSTER,  // key below the cluster registry's root
    SERVICE,  // a Windows service: key = its name, data = its start type ("2")
};

// Data forms: a text is REG_SZ; "dword:<decimal>" is REG_DWORD;
// "sznul:<text>" is REG_SZ stored without a terminator. A null value name
// creates the key alone.
struct Row {
    Where where;
    const char* key;
    const char* value;
    const char* data;
};

// A row with every placeholder replaced.
struct ResolvedRow {
    Where where;
    std::string key;
    bool hasValue;
    std::string value;
    enum Kind { TEXT, DWORD, TEXT_NO_TERMINATOR } kind;
    std::string text;
    uint32_t dword;
};

struct BackendState;

// ---- backend (one implementation per platform) ----
std::string backendRemoteMachine();
// Makes rows real; false with *why on failure. *state is what remove needs.
bool backendInstall(const std::string& token, const std::vector<ResolvedRow>& rows,
                    BackendState** state, std::string* why);
void backendRemove(BackendState* state);

class Machine {
public:
    Machine(std::initializer_list<Row> rows);
    explicit Machine(const std::vector<Row>& rows);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    // text with the placeholders replaced, as the rows saw them.
    std::string name(const std::string& text) const;
    const std::string& token() const { return token_; }

private:
    void install(const std::vector<Row>& rows);

    std::string token_;
    BackendState* state_ = nullptr;
    bool ok_ = false;
    std::string why_;
};

// Handle counters and the access masks seen, relative to a starting point.
class Counters {
public:
    Counters() { ossRegistryCountersGet(&start_); }
    OSSRegistryCounters delta() const;
    // Open keys, services, clusters and cluster keys beyond the start.
    int64_t openKeys() const { return delta().openKeys; }
    int64_t openServices() const { return delta().openServices; }
    int64_t openClusterHandles() const {
        OSSRegistryCounters d = delta();
        return d.openClusters + d.openClusterKeys;
    }

private:
    OSSRegistryCounters start_;
};

#define DIR_T_PRODUCT "SOFTWARE\\Tavrin\\QVR"
#define DIR_T_COPIES DIR_T_PRODUCT "\\INSTALLEDCOPIES"

// A string kept alive for the rest of the test program, for building rows.
const char* keep(const std::string& text);

// The key of a copy ("" is the top-level copy: the product root key).
const char* copyKeyOf(const char* copy);

// Rows of a copy: its own CurrentVersion values from a dotted level such
// as "9.7.4.0" (null: no CurrentVersion key) and its installation path
// (null: no "QVR Path Name").
void addCopy(std::vector<Row>* rows, const char* copy, const char* level, const char* path);

// The key of an instance: <copy key>\<profiles>\<instance>.
const char* instanceKeyOf(const char* copy, const char* profiles, const char* instance);

}  // namespace dir_test

#endif
