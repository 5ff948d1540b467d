// The machine fixture on POSIX: the rows become registry export files in a
// scratch directory, named by the stand-in's environment variables. The
// three files use the three formats the stand-in reads: the local machine
// in UTF-16LE "version 5.00" (as regedit writes it), the remote machine in
// REGEDIT4, the cluster registry in UTF-8 with a byte-order mark.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/registry.h"
#include "platform/registry_text.h"
#include "tests/dir_machine.h"

namespace dir_test {

struct BackendState {
    std::string dir;
};

namespace {

enum Format { UTF16_V5, REGEDIT4, UTF8_V5 };

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::string utf16le(const std::string& text) {
    OSSRegBuffer wide = {nullptr, 0, 0};
    ossRegUtf8ToUtf16(text.data(), text.size(), &wide);
    std::string bytes;
    for (size_t i = 0; i < wide.size / 2; ++i) {
        char16_t unit = ((const char16_t*)wide.data)[i];
        bytes += (char)(unit & 0xFF);
        bytes += (char)(unit >> 8);
    }
    ossRegBufferFree(&wide);
    return bytes;
}

// hex(1) data, continued over lines like regedit does for long values.
std::string hexText(const std::string& text, Format format) {
    std::string bytes = format == REGEDIT4 ? text : utf16le(text);
    std::string out = "hex(1):";
    for (size_t i = 0; i < bytes.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", (unsigned char)bytes[i]);
        out += byte;
        if (i + 1 < bytes.size()) out += (i % 20 == 19) ? ",\\\r\n  " : ",";
    }
    return out;
}

std::string valueLine(const ResolvedRow& row, Format format) {
    std::string name = row.value.empty() ? "@" : "\"" + escape(row.value) + "\"";
    switch (row.kind) {
        case ResolvedRow::DWORD: {
            char data[32];
            std::snprintf(data, sizeof data, "dword:%08x", row.dword);
            return name + "=" + data;
        }
        case ResolvedRow::TEXT_NO_TERMINATOR:
            return name + "=" + hexText(row.text, format);
        case ResolvedRow::TEXT:
            break;
    }
    return name + "=\"" + escape(row.text) + "\"";
}

// Keys in the order first named, each with its value lines.
struct ExportText {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> values;
    void add(const std::string& key, const std::string* line) {
        if (!values.count(key)) order.push_back(key);
        std::vector<std::string>& lines = values[key];
        if (line) lines.push_back(*line);
    }
    std::string render(Format format) const {
        std::string out =
            format == REGEDIT4 ? "REGEDIT4\r\n" : "Windows Registry Editor Version 5.00\r\n";
        out += "; written by the directory tests\r\n";
        for (const std::string& key : order) {
            out += "\r\n[" + key + "]\r\n";
            for (const std::string& line : values.at(key))
                out += line + "\r\n";
        }
        return out;
    }
};

bool writeExport(const std::string& path, const ExportText& text, Format format) {
    std::string content = text.render(format);
    std::string bytes;
    if (format == UTF16_V5) {
        bytes = "\xFF\xFE" + utf16le(content);
    } else if (format == UTF8_V5) {
        bytes = "\xEF\xBB\xBF" + content;
    } else {
        bytes = content;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

std::string backendRemoteMachine() {
    return "FARHOST";
}

bool backendInstall(const std::string& token, const std::vector<ResolvedRow>& rows,
                    BackendState** state, std::string* why) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("genreg-dir-" + token + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        *why = "mkdtemp failed";
        return false;
    }
    *state = new BackendState{buffer.data()};
    std::string dir = (*state)->dir;
    std::filesystem::create_directory(dir + "/remote");

    ExportText local, remote, cluster;
    bool anyCluster = false;
    for (const ResolvedRow& row : rows) {
        std::string line;
        switch (row.where) {
            case LOCAL:
                line = valueLine(row, UTF16_V5);
                local.add("HKEY_LOCAL_MACHINE\\" + row.key, row.hasValue ? &line : nullptr);
                break;
            case REMOTE:
                line = valueLine(row, REGEDIT4);
                remote.add("HKEY_LOCAL_MACHINE\\" + row.key, row.hasValue ? &line : nullptr);
                break;
            case CLUSTER:
                anyCluster = true;
                line = valueLine(row, UTF8_V5);
                cluster.add(row.key, row.hasValue ? &line : nullptr);
                break;
            case SERVICE:
                line = "\"Start\"=dword:0000000" + row.text.substr(0, 1);
                local.add("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + row.key,
                          &line);
                break;
        }
    }
    std::string localPath = dir + "/local.reg";
    std::string clusterPath = dir + "/cluster.reg";
    if (!writeExport(localPath, local, UTF16_V5) ||
        !writeExport(dir + "/remote/" + backendRemoteMachine() + ".reg", remote, REGEDIT4) ||
        (anyCluster && !writeExport(clusterPath, cluster, UTF8_V5))) {
        *why = "writing the export files failed";
        return false;
    }
    setenv(OSS_REGISTRY_FILE_ENV, localPath.c_str(), 1);
    setenv(OSS_REGISTRY_REMOTE_DIR_ENV, (dir + "/remote").c_str(), 1);
    if (anyCluster)
        setenv(OSS_CLUSTER_REGISTRY_FILE_ENV, clusterPath.c_str(), 1);
    else
        unsetenv(OSS_CLUSTER_REGISTRY_FILE_ENV);
    ossClusterApiResetForTest();
    return true;
}

void backendRemove(BackendState* state) {
    unsetenv(OSS_REGISTRY_FILE_ENV);
    unsetenv(OSS_REGISTRY_REMOTE_DIR_ENV);
    unsetenv(OSS_CLUSTER_REGISTRY_FILE_ENV);
    ossClusterApiResetForTest();
    if (!state) return;
    std::error_code ignored;
    std::filesystem::remove_all(state->dir, ignored);
    delete state;
}

}  // namespace dir_test
