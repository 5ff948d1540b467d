// The machine fixture on Windows. Each test gets a scratch key below
// HKEY_CURRENT_USER\Software\genreg-dir-tests\<token>:
//   machine  stands in for HKEY_LOCAL_MACHINE (RegOverridePredefKey, for
//            this process only, so parallel tests never meet)
//   cluster  the cluster registry's root, served by the test cluster
//            library (tests/clusapi, genreg_test_clusapi.dll beside the test
//            program, handed to the library through its test hook) found
//            through GENREG_TEST_CLUSTER_ROOT
// Services are real services of the service control manager, named with
// the test's token and deleted afterwards.
//
// While HKEY_LOCAL_MACHINE is redirected the system cannot read the
// computer name, so no machine name connects; the "remote" machine is the
// empty name, which connects to the (redirected) local registry, and REMOTE
// rows are written there. Their keys (<copy>\<instance>) never collide with
// the local layout (<copy>\PROFILES\<instance>).
#include <windows.h>

#include <string>

#include "platform/registry.h"
#include "tests/dir_machine.h"

namespace dir_test {

struct BackendState {
    std::string root;  // below HKEY_CURRENT_USER
    HKEY machine = nullptr;
    bool overridden = false;
    // One manager handle for every create and delete of the test: Wine's
    // service manager loses services created through a handle that was
    // opened after an earlier one was closed.
    SC_HANDLE manager = nullptr;
    std::vector<std::string> services;
};

namespace {

const char kClusterRootEnv[] = "GENREG_TEST_CLUSTER_ROOT";
const char kTestClusterLibrary[] = "genreg_test_clusapi.dll";

// The test cluster library beside the running test program.
std::string testClusterLibrary() {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return kTestClusterLibrary;
    std::string path(program, length);
    size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           kTestClusterLibrary;
}
const char kServiceBinary[] = "C:\\windows\\system32\\notepad.exe";

bool setValue(HKEY parent, const ResolvedRow& row, std::string* why) {
    HKEY key;
    LONG rc = RegCreateKeyExA(parent, row.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr);
    if (rc) {
        *why = "RegCreateKeyExA " + row.key + " failed: " + std::to_string(rc);
        return false;
    }
    if (row.hasValue) {
        switch (row.kind) {
            case ResolvedRow::DWORD:
                rc = RegSetValueExA(key, row.value.c_str(), 0, REG_DWORD, (const BYTE*)&row.dword,
                                    sizeof row.dword);
                break;
            case ResolvedRow::TEXT:
                rc = RegSetValueExA(key, row.value.c_str(), 0, REG_SZ,
                                    (const BYTE*)row.text.c_str(), (DWORD)row.text.size() + 1);
                break;
            case ResolvedRow::TEXT_NO_TERMINATOR:
                rc = RegSetValueExA(key, row.value.c_str(), 0, REG_SZ, (const BYTE*)row.text.data(),
                                    (DWORD)row.text.size());
                break;
        }
    }
    RegCloseKey(key);
    if (rc) *why = "RegSetValueExA " + row.value + " failed: " + std::to_string(rc);
    return rc == 0;
}

bool createService(const ResolvedRow& row, BackendState* state, std::string* why) {
    if (!state->manager) state->manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!state->manager) {
        *why = "OpenSCManagerA failed: " + std::to_string(GetLastError());
        return false;
    }
    // A long binary path makes the configuration larger than a small
    // fixed buffer (a row can ask for it with a long data text after the
    // start type digit).
    std::string binary = kServiceBinary;
    if (row.text.size() > 1) binary += " " + row.text.substr(1);
    SC_HANDLE service =
        CreateServiceA(state->manager, row.key.c_str(), row.key.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, (DWORD)(row.text[0] - '0'), SERVICE_ERROR_IGNORE,
                       binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    DWORD error = GetLastError();
    if (!service) {
        *why = "CreateServiceA " + row.key + " failed: " + std::to_string(error);
        return false;
    }
    CloseServiceHandle(service);
    state->services.push_back(row.key);
    return true;
}

void deleteService(SC_HANDLE manager, const std::string& name) {
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), DELETE);
    if (service) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
}

}  // namespace

std::string backendRemoteMachine() {
    return "";
}

bool backendInstall(const std::string& token, const std::vector<ResolvedRow>& rows,
                    BackendState** result, std::string* why) {
    BackendState* state = new BackendState();
    *result = state;
    state->root = "Software\\genreg-dir-tests\\" + token;
    std::string machinePath = state->root + "\\machine";
    std::string clusterPath = state->root + "\\cluster";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, machinePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &state->machine, nullptr)) {
        *why = "cannot create the scratch key";
        return false;
    }
    HKEY cluster = nullptr;
    bool anyCluster = false;
    for (const ResolvedRow& row : rows) {
        bool ok = true;
        switch (row.where) {
            case LOCAL:
            case REMOTE:
                ok = setValue(state->machine, row, why);
                break;
            case CLUSTER:
                if (!cluster && RegCreateKeyExA(HKEY_CURRENT_USER, clusterPath.c_str(), 0, nullptr,
                                                0, KEY_ALL_ACCESS, nullptr, &cluster, nullptr)) {
                    *why = "cannot create the cluster scratch key";
                    return false;
                }
                anyCluster = true;
                ok = setValue(cluster, row, why);
                break;
            case SERVICE:
                ok = createService(row, state, why);
                break;
        }
        if (!ok) {
            if (cluster) RegCloseKey(cluster);
            return false;
        }
    }
    if (cluster) RegCloseKey(cluster);
    SetEnvironmentVariableA(kClusterRootEnv, anyCluster ? clusterPath.c_str() : nullptr);
    if (RegOverridePredefKey(HKEY_LOCAL_MACHINE, state->machine)) {
        *why = "RegOverridePredefKey failed";
        return false;
    }
    state->overridden = true;
    ossClusterUseLibraryForTest(testClusterLibrary().c_str());
    ossClusterApiResetForTest();
    return true;
}

void backendRemove(BackendState* state) {
    SetEnvironmentVariableA(kClusterRootEnv, nullptr);
    ossClusterUseLibraryForTest(nullptr);
    ossClusterApiResetForTest();
    if (!state) return;
    if (state->overridden) RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (state->machine) RegCloseKey(state->machine);
    for (const std::string& name : state->services)
        deleteService(state->manager, name);
    if (state->manager) CloseServiceHandle(state->manager);
    RegDeleteTreeA(HKEY_CURRENT_USER, state->root.c_str());
    delete state;
}

}  // namespace dir_test
