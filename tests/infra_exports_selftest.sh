#!/bin/bash
# Checks the export allow-list of scripts/check-exports.sh against names the
# library must export and names it must never export (the internal units and
# the C++ runtime's templates). Each line: verdict, then a demangled name.
set -uo pipefail
check=$(cd "$(dirname "$0")/.." && pwd)/scripts/check-exports.sh

cases() {
    cat <<'CASES'
allow GenRegBase::isFeatureSet(unsigned long) const
allow GenRegBase::setFeature(unsigned long long)
allow GenRegFile::OpenScan()
allow GenRegFile::~GenRegFile()
allow GenRegText::Get(unsigned long, void*, void*)
allow GenRegBin::Change(unsigned long, void*, void*)
allow GenRegVarVal::GenRegVarVal(char const*, unsigned int*)
allow GenRegVarVal::GetUintValue(char const*, unsigned long*)
allow GenRegServices::GenRegServices(char const*, unsigned int*)
allow GenRegBinVarVal::~GenRegBinVarVal()
allow GlobalReg::GlobalReg(bool)
allow GlobalReg::PrintRecord(void const*)
allow typeinfo for GenRegText
allow typeinfo name for GlobalReg
allow GenRegReadLine(char*, char*, unsigned long, _IO_FILE*, unsigned int*, bool)
allow GenRegWriteLine(char const*, unsigned long, _IO_FILE*)
allow ossVersionCodeToString(unsigned long, char*, unsigned long)
allow ossVersionStringToCode(char const*, unsigned long*)
allow ossVersionCodeQVRToService(unsigned int)
allow ossOpenInstanceList(char const*, void**)
allow ossGetNextService(void*, OSSServiceInfo_t*)
allow ossCloseServiceList(void*)
allow ossGetInstanceInfo(char const*, OSSInstanceInfo_t*)
allow ossSetServiceInfo(OSSServiceInfo_t const*)
allow ossRemoveInstanceInfo(char const*)
allow genregRcName(unsigned int)
allow genregRcFromName(char const*, unsigned int*)
allow genregSetLogFile(char const*)
allow genregSetLogCallback(void (*)(GenRegLogEntry const*, void*), void*)
allow GetGlobalRegPathName(char*, unsigned short*)
allow UpgradeServiceLevels(GlobalReg*, unsigned long*)
allow bCompactFormattedLine
allow qvrThisIsAQVRLibrary
allow genreg_varval_open
allow genreg_rc_name
allow genreg_instance_list_next
reject genreg_varval_open(char const*, genreg_handle**)
reject _genreg_close
reject genreg_close@8
reject genreg_Close
reject ossLog(unsigned int, unsigned int, unsigned int, unsigned int, char const*, ...)
reject ossLogRC(unsigned int, unsigned int, unsigned int, unsigned int, unsigned int, unsigned int, char const*, ...)
reject ossStreamRead(void*, unsigned long, unsigned long, _IO_FILE*)
reject ossStreamClose(_IO_FILE*)
reject ossOpenOsfHandle(long, int)
reject ossFileGetInfoV9(OSSFileInfoRequest const*, OSSFileInfo*)
reject ossMemAlloc
reject _ossMemAlloc(void**, unsigned long, char const*, int)
reject OSSHFile::open(OSSFileOpenParam const*)
reject OSSHFile::OSSHFile()
reject AcquireUpdateLock(GenRegFile*, unsigned int)
reject ReadRecord(GenRegBin*, _IO_FILE*, void**, unsigned long*)
reject g_pGTCB
reject _gtraceEntry(unsigned long, unsigned int, unsigned long, unsigned long)
reject std::vector<char, std::allocator<char> >::_M_default_append(unsigned long)
reject void std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >::_M_construct<char const*>(char const*, char const*, std::forward_iterator_tag)
reject typeinfo for std::exception
reject vtable for OSSHFile
reject GenRegTextHelper(GenRegText*)
reject xGenRegBase::isFeatureSet(unsigned long) const
reject genregRcNameTable
reject ossGetInstanceInfoInternal(char const*)
CASES
}

passed=0
failed=0
record() { # record OK MESSAGE
    if [ "$1" = ok ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $2"
    fi
}

# One run over every name: the report must list exactly the rejected ones.
expected=$(cases | sed -n 's/^reject //p' | sort)
report=$("$check" --names <(cases | sed -E 's/^(allow|reject) //'))
status=$?
reported=$(sed -n 's/^  //p' <<<"$report" | sort)
[ "$status" -eq 1 ] && ok=ok || ok=no
record "$ok" "a list with forbidden names must fail (status $status)"
while read -r name; do
    grep -qxF -- "$name" <<<"$reported" && ok=ok || ok=no
    record "$ok" "not rejected: $name"
done <<<"$expected"
while read -r name; do
    grep -qxF -- "$name" <<<"$expected" && ok=ok || ok=no
    record "$ok" "rejected although allowed: $name"
done <<<"$reported"

# The allowed names alone pass.
"$check" --names <(cases | sed -n 's/^allow //p') >/dev/null && ok=ok || ok=no
record "$ok" "the allowed names alone must pass"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
