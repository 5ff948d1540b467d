// The platform-neutral half of the machine fixture: placeholders, data
// forms and the product layout helpers.
#include "tests/dir_machine.h"

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <deque>
#include <mutex>

#include "platform/oss_sys.h"

namespace dir_test {

namespace {

std::string uniqueToken() {
    static std::atomic<unsigned> counter{0};
    char token[32];
    std::snprintf(token, sizeof token, "T%X%02X", (unsigned)ossSysProcessId(),
                  counter.fetch_add(1) & 0xFF);
    return token;
}

std::string substitute(const std::string& text, const std::string& token) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$') {
            out += token;
        } else if (text.compare(i, 2, "%M") == 0) {
            out += backendRemoteMachine();
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

Machine::Machine(std::initializer_list<Row> rows) {
    install(std::vector<Row>(rows));
}

Machine::Machine(const std::vector<Row>& rows) {
    install(rows);
}

void Machine::install(const std::vector<Row>& rows) {
    token_ = uniqueToken();
    std::vector<ResolvedRow> resolved;
    for (const Row& row : rows) {
        ResolvedRow r;
        r.where = row.where;
        r.key = substitute(row.key, token_);
        r.hasValue = row.value != nullptr;
        r.value = row.value ? substitute(row.value, token_) : "";
        std::string data = row.data ? substitute(row.data, token_) : "";
        r.kind = ResolvedRow::TEXT;
        r.dword = 0;
        if (data.compare(0, 6, "dword:") == 0) {
            r.kind = ResolvedRow::DWORD;
            r.dword = (uint32_t)std::strtoul(data.c_str() + 6, nullptr, 10);
        } else if (data.compare(0, 6, "sznul:") == 0) {
            r.kind = ResolvedRow::TEXT_NO_TERMINATOR;
            r.text = data.substr(6);
        } else {
            r.text = data;
        }
        resolved.push_back(r);
    }
    ok_ = backendInstall(token_, resolved, &state_, &why_);
}

Machine::~Machine() {
    backendRemove(state_);
}

std::string Machine::name(const std::string& text) const {
    return substitute(text, token_);
}

OSSRegistryCounters Counters::delta() const {
    OSSRegistryCounters now;
    ossRegistryCountersGet(&now);
    OSSRegistryCounters d;
    d.openKeys = now.openKeys - start_.openKeys;
    d.openServices = now.openServices - start_.openServices;
    d.openClusters = now.openClusters - start_.openClusters;
    d.openClusterKeys = now.openClusterKeys - start_.openClusterKeys;
    d.opensRead = now.opensRead - start_.opensRead;
    d.opensRead64 = now.opensRead64 - start_.opensRead64;
    d.opensOther = now.opensOther - start_.opensOther;
    d.clusterLoads = now.clusterLoads - start_.clusterLoads;
    return d;
}

const char* keep(const std::string& text) {
    static std::mutex mutex;
    static std::deque<std::string> kept;
    std::lock_guard<std::mutex> guard(mutex);
    kept.push_back(text);
    return kept.back().c_str();
}

const char* copyKeyOf(const char* copy) {
    if (!*copy) return DIR_T_PRODUCT;
    return keep(std::string(DIR_T_COPIES "\\") + copy);
}

void addCopy(std::vector<Row>* rows, const char* copy, const char* level, const char* path) {
    const char* key = copyKeyOf(copy);
    rows->push_back({LOCAL, key, nullptr, nullptr});
    if (path) rows->push_back({LOCAL, key, "QVR Path Name", path});
    if (!level) return;
    unsigned groups[4] = {0, 0, 0, 0};
    std::sscanf(level, "%u.%u.%u.%u", &groups[0], &groups[1], &groups[2], &groups[3]);
    const char* version = keep(std::string(key) + "\\CurrentVersion");
    const char* names[4] = {"Version", "Release", "Modification", "Service Level"};
    for (int i = 0; i < 4; ++i)
        rows->push_back({LOCAL, version, names[i], keep(std::to_string(groups[i]))});
}

const char* instanceKeyOf(const char* copy, const char* profiles, const char* instance) {
    return keep(std::string(copyKeyOf(copy)) + "\\" + profiles + "\\" + instance);
}

}  // namespace dir_test
