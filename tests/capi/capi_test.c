/* The C interface called from C99, compiled by a C compiler: every function
 * of <genreg/genreg_c.h>, against scratch files in the current directory.
 *
 *   capi_test GROUP     codes, version, varval, scan, services, binvarval,
 *                       global, directory
 *
 * Exits 0 when every check of the group held, 1 otherwise (each failure is
 * printed with its line). */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200112L /* setenv */
#endif
#include <genreg/genreg_c.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int g_checks;
static int g_failures;

static void check_(int ok, const char* what, int line) {
    ++g_checks;
    if (ok) return;
    ++g_failures;
    fprintf(stderr, "capi_test.c:%d: check failed: %s\n", line, what);
}

static const char* rc_text(uint32_t rc) {
    const char* name = NULL;
    genreg_rc_name(rc, &name);
    return name ? name : "(not a library code)";
}

static void check_rc_(uint32_t expected, uint32_t actual, const char* call, int line) {
    ++g_checks;
    if (expected == actual) return;
    ++g_failures;
    fprintf(stderr, "capi_test.c:%d: %s gave 0x%08lx %s, expected 0x%08lx %s\n", line, call,
            (unsigned long)actual, rc_text(actual), (unsigned long)expected, rc_text(expected));
}

#define CHECK(condition) check_((condition) ? 1 : 0, #condition, __LINE__)
#define CHECK_RC(expected, call) check_rc_((expected), (call), #call, __LINE__)

static void set_env(const char* name, const char* value) {
#if defined(_WIN32)
    static char assignment[600];
    snprintf(assignment, sizeof assignment, "%s=%s", name, value ? value : "");
    _putenv(assignment);
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

static void write_file(const char* path, const char* text) {
    FILE* file = fopen(path, "wb");
    CHECK(file != NULL);
    if (!file) return;
    fputs(text, file);
    fclose(file);
}

/* The file's whole text (at most 4095 bytes) in a static buffer. */
static const char* read_file(const char* path) {
    static char text[4096];
    size_t length = 0;
    FILE* file = fopen(path, "rb");
    text[0] = '\0';
    if (!file) return text;
    length = fread(text, 1, sizeof text - 1, file);
    text[length] = '\0';
    fclose(file);
    return text;
}

static void copy_text(char* field, size_t size, const char* text) {
    memset(field, 0, size);
    strncpy(field, text, size - 1);
}

/* ---- return codes and diagnostics ------------------------------------------ */

struct code_entry {
    const char* name;
    uint32_t value;
};

#define CAPI_TEST_ENTRY_(name, value, meaning) {#name, value},
static const struct code_entry k_codes[] = {GENREG_RC_LIST(CAPI_TEST_ENTRY_)};
#undef CAPI_TEST_ENTRY_

static void test_codes(void) {
    const char* text = NULL;
    uint32_t value = 1;
    genreg_handle_t* handle = NULL;
    char text16[16];
    size_t i;
    /* Every constant of the C header answers with its own name, its value
     * and a meaning: the C constants and the library's table agree. */
    for (i = 0; i < sizeof k_codes / sizeof k_codes[0]; ++i) {
        CHECK_RC(GENREG_RC_OK, genreg_rc_name(k_codes[i].value, &text));
        CHECK(text != NULL && strcmp(text, k_codes[i].name) == 0);
        CHECK_RC(GENREG_RC_OK, genreg_rc_from_name(k_codes[i].name, &value));
        CHECK(value == k_codes[i].value);
        text = NULL;
        CHECK_RC(GENREG_RC_OK, genreg_rc_meaning(k_codes[i].value, &text));
        CHECK(text != NULL && text[0] != '\0');
    }
    CHECK(sizeof k_codes / sizeof k_codes[0] > 100);
    CHECK(GENREG_RC_LOCKED == 0x900001c4U);

    CHECK_RC(GENREG_RC_OK, genreg_rc_name(GENREG_RC_OK, &text));
    CHECK(strcmp(text, "GENREG_RC_OK") == 0);
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_rc_name(0x12345U, &text));
    CHECK(text == NULL);
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_rc_meaning(0x12345U, &text));
    CHECK(text == NULL);
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_rc_from_name("GENREG_RC_NO_SUCH_CODE", &value));
    CHECK(value == 0);
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_rc_name(GENREG_RC_OK, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_rc_meaning(GENREG_RC_OK, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_rc_from_name(NULL, &value));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_rc_from_name("GENREG_RC_OK", NULL));

    /* The log receives the failure of a call made while it is on. */
    remove("capi-codes.log");
    CHECK_RC(GENREG_RC_OK, genreg_set_log_file("capi-codes.log"));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_open("", &handle));
    CHECK_RC(GENREG_RC_OK, genreg_set_log_file(NULL));
    CHECK(read_file("capi-codes.log")[0] != '\0');
    CHECK(genreg_set_log_file("capi-no-such-dir/x/y.log") != GENREG_RC_OK);
    CHECK_RC(GENREG_RC_OK, genreg_set_log_file(NULL));

    remove("capi-codes.trc");
    CHECK_RC(GENREG_RC_OK, genreg_set_trace_file("capi-codes.trc"));
    CHECK_RC(GENREG_RC_OK, genreg_rc_name(GENREG_RC_OK, &text));
    CHECK_RC(GENREG_RC_OK, genreg_version_to_string(0, text16, sizeof text16));
    CHECK_RC(GENREG_RC_OK, genreg_set_trace_file(NULL));
    CHECK(read_file("capi-codes.trc")[0] != '\0');
    CHECK(genreg_set_trace_file("capi-no-such-dir/x/y.trc") != GENREG_RC_OK);
    CHECK_RC(GENREG_RC_OK, genreg_set_trace_file(NULL));
}

/* ---- version codes ------------------------------------------------------------ */

static void test_version(void) {
    const uint64_t code974 = 0x0009000700040000ULL;
    uint64_t code = 0;
    int32_t number = 0;
    char text[16];

    CHECK_RC(GENREG_RC_OK, genreg_version_from_number(9070400U, &code));
    CHECK(code == code974);
    CHECK_RC(GENREG_RC_OK, genreg_version_to_number(code974, &number));
    CHECK(number == 9070400);
    CHECK_RC(GENREG_RC_OK, genreg_version_to_string(code974, text, sizeof text));
    CHECK(strcmp(text, "9.7.4.0") == 0);
    CHECK_RC(GENREG_RC_VERSION_BUFFER_TOO_SMALL, genreg_version_to_string(code974, text, 7));
    CHECK_RC(GENREG_RC_VERSION_NULL_STRING, genreg_version_to_string(code974, NULL, 16));
    code = 0;
    CHECK_RC(GENREG_RC_OK, genreg_version_from_string("9.7.4.0", &code));
    CHECK(code == code974);
    CHECK_RC(GENREG_RC_VERSION_SYNTAX, genreg_version_from_string("9.x", &code));
    CHECK_RC(GENREG_RC_VERSION_NULL_STRING, genreg_version_from_string(NULL, &code));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_version_from_number(9070400U, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_version_to_number(code974, NULL));
}

/* ---- variable/value profile --------------------------------------------------- */

static const char k_profile[] = "capi-varval.prf";

static void write_profile(void) {
    write_file(k_profile,
               "alpha = one  # first\n"
               "number = -42\n"
               "big = 18446744073709551615\n"
               "ratio = 2.5\n"
               "flag = yes\n");
}

static genreg_varval_record_t g_key, g_found, g_new;

static void varval_entry(genreg_varval_record_t* r, const char* variable, const char* value) {
    memset(r, 0, sizeof *r);
    r->Contains = GENREG_VARVAL_HAS_VARIABLE;
    r->Present = GENREG_VARVAL_FIELD_VARIABLE;
    copy_text(r->Variable, sizeof r->Variable, variable);
    if (value) {
        r->Present |= GENREG_VARVAL_FIELD_VALUE;
        copy_text(r->Value, sizeof r->Value, value);
    }
}

static void test_varval(void) {
    genreg_handle_t* h = NULL;
    genreg_handle_t* other = NULL;
    const char* text = NULL;
    int32_t flag = 0;
    int64_t sint = 0;
    uint64_t uint = 0;
    double real = 0;
    char longPath[300];

    /* Opening. */
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_open(k_profile, NULL));
    h = (genreg_handle_t*)&g_key;
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_open(NULL, &h));
    CHECK(h == NULL);
    memset(longPath, 'p', sizeof longPath - 1);
    longPath[sizeof longPath - 1] = '\0';
    CHECK_RC(GENREG_RC_PATH_TOO_LONG, genreg_varval_open(longPath, &h));
    CHECK(h == NULL);
    write_profile();
    CHECK_RC(GENREG_RC_OK, genreg_varval_open(k_profile, &h));
    CHECK(h != NULL);
    if (!h) return;

    /* Typed getters. */
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_string(h, "alpha", &text));
    CHECK(text != NULL && strcmp(text, "one") == 0);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_sint(h, "number", &sint));
    CHECK(sint == -42);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_uint(h, "big", &uint));
    CHECK(uint == 18446744073709551615ULL);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_double(h, "ratio", &real));
    CHECK(real == 2.5);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_boolean(h, "flag", &flag));
    CHECK(flag == 1);
    /* A missing name or a value that does not convert leaves the output. */
    sint = 5;
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_varval_get_sint(h, "alpha", &sint));
    CHECK(sint == 5);
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_varval_get_uint(h, "ratio", &uint));
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_varval_get_double(h, "missing", &real));
    flag = 7;
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_varval_get_boolean(h, "ratio", &flag));
    CHECK(flag == 7);
    CHECK_RC(GENREG_RC_NOT_FOUND, genreg_varval_get_string(h, "missing", &text));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_get_string(h, NULL, &text));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_get_sint(h, "number", NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_get_string(NULL, "alpha", &text));

    /* A handle of another schema is refused by every profile function. */
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_open("capi-varval.bin", &other));
    CHECK_RC(GENREG_RC_BAD_ARGUMENT, genreg_varval_get_string(other, "alpha", &text));
    CHECK_RC(GENREG_RC_BAD_ARGUMENT,
             genreg_varval_get(other, GENREG_VARVAL_VARIABLE, &g_key, &g_found));
    CHECK_RC(GENREG_RC_OK, genreg_close(other));

    /* Records: get, add, change, delete. */
    varval_entry(&g_key, "alpha", NULL);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get(h, GENREG_VARVAL_VARIABLE, &g_key, &g_found));
    CHECK(g_found.Contains == (GENREG_VARVAL_HAS_VARIABLE | GENREG_VARVAL_HAS_COMMENT));
    CHECK(g_found.Present ==
          (GENREG_VARVAL_FIELD_VARIABLE | GENREG_VARVAL_FIELD_VALUE | GENREG_VARVAL_FIELD_COMMENT));
    CHECK(strcmp(g_found.Variable, "alpha") == 0 && strcmp(g_found.Value, "one") == 0);
    CHECK(strstr(g_found.Comment, "first") != NULL);
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_get(h, GENREG_VARVAL_VARIABLE, &g_key, NULL));
    /* The store's own answers to a key it refuses. */
    CHECK_RC(GENREG_RC_INVALID_RECORD,
             genreg_varval_get(h, GENREG_VARVAL_VARIABLE, NULL, &g_found));

    varval_entry(&g_new, "gamma", "three");
    CHECK_RC(GENREG_RC_OK, genreg_varval_add(h, GENREG_VARVAL_VARIABLE, &g_new));
    CHECK(strstr(read_file(k_profile), "gamma = three") != NULL);
    /* An entry without its value: the absent text is not an empty one. */
    varval_entry(&g_new, "delta", NULL);
    CHECK_RC(GENREG_RC_LINE_PACK_FAILED, genreg_varval_add(h, GENREG_VARVAL_VARIABLE, &g_new));
    varval_entry(&g_new, "delta", "");
    CHECK_RC(GENREG_RC_OK, genreg_varval_add(h, GENREG_VARVAL_VARIABLE, &g_new));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_add(h, GENREG_VARVAL_VARIABLE, NULL));

    varval_entry(&g_key, "gamma", NULL);
    varval_entry(&g_new, "gamma", "four");
    CHECK_RC(GENREG_RC_OK, genreg_varval_change(h, GENREG_VARVAL_VARIABLE, &g_key, &g_new));
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_string(h, "gamma", &text));
    CHECK(strcmp(text, "four") == 0);
    CHECK_RC(GENREG_RC_NULL_ARGUMENT,
             genreg_varval_change(h, GENREG_VARVAL_VARIABLE, &g_key, NULL));
    CHECK_RC(GENREG_RC_OK, genreg_varval_delete(h, GENREG_VARVAL_VARIABLE, &g_key));
    CHECK_RC(GENREG_RC_NO_MATCH, genreg_varval_get(h, GENREG_VARVAL_VARIABLE, &g_key, &g_found));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_delete(h, GENREG_VARVAL_VARIABLE, NULL));
    CHECK(strstr(read_file(k_profile), "gamma") == NULL);

    /* A caller's text without a terminator is cut, never read past. */
    memset(g_key.Variable, 'v', sizeof g_key.Variable);
    CHECK_RC(GENREG_RC_NO_MATCH, genreg_varval_get(h, GENREG_VARVAL_VARIABLE, &g_key, &g_found));

    CHECK_RC(GENREG_RC_OK, genreg_varval_print(&g_found));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_varval_print(NULL));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));
}

/* ---- features and the scan cursor --------------------------------------------- */

static void test_scan(void) {
    genreg_handle_t* h = NULL;
    genreg_handle_t* other = NULL;
    int32_t set = -1;
    int64_t position = 0;
    int lines = 0;
    uint32_t rc = 0;

    write_profile();
    CHECK_RC(GENREG_RC_OK, genreg_varval_open(k_profile, &h));
    if (!h) return;

    /* Features: the profile verifies its updates and allows duplicates. */
    CHECK_RC(GENREG_RC_OK, genreg_is_feature_set(h, GENREG_FEATURE_VERIFY, &set));
    CHECK(set == 1);
    CHECK_RC(GENREG_RC_OK, genreg_is_feature_set(h, GENREG_FEATURE_JOIN_LINES, &set));
    CHECK(set == 0);
    CHECK_RC(GENREG_RC_OK, genreg_set_feature(h, GENREG_FEATURE_JOIN_LINES));
    CHECK_RC(GENREG_RC_OK, genreg_is_feature_set(h, GENREG_FEATURE_JOIN_LINES, &set));
    CHECK(set == 1);
    CHECK_RC(GENREG_RC_OK, genreg_unset_feature(h, GENREG_FEATURE_JOIN_LINES));
    CHECK_RC(GENREG_RC_FEATURE_NOT_SET, genreg_unset_feature(h, GENREG_FEATURE_JOIN_LINES));
    CHECK_RC(GENREG_RC_BAD_FEATURE, genreg_set_feature(h, 0));
    CHECK_RC(GENREG_RC_BAD_FEATURE, genreg_unset_feature(h, 512));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_is_feature_set(h, GENREG_FEATURE_VERIFY, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_is_feature_set(NULL, GENREG_FEATURE_VERIFY, &set));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_set_feature(NULL, GENREG_FEATURE_VERIFY));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_unset_feature(NULL, GENREG_FEATURE_VERIFY));

    /* Without a scan GetNext has nothing to read. */
    CHECK_RC(GENREG_RC_NO_SCAN, genreg_varval_get_next(h, 0, NULL, &g_found));

    /* A scan: every line with selector 0, positions, rewind. */
    CHECK_RC(GENREG_RC_OK, genreg_open_scan(h));
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_next(h, 0, NULL, &g_found));
    CHECK(strcmp(g_found.Variable, "alpha") == 0);
    CHECK_RC(GENREG_RC_OK, genreg_get_position(h, &position));
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_next(h, 0, NULL, &g_found));
    CHECK(strcmp(g_found.Variable, "number") == 0);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_next(h, 0, NULL, &g_found));
    CHECK_RC(GENREG_RC_OK, genreg_set_position(h, position));
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_next(h, 0, NULL, &g_found));
    CHECK(strcmp(g_found.Variable, "number") == 0);
    CHECK_RC(GENREG_RC_OK, genreg_rewind(h));
    while ((rc = genreg_varval_get_next(h, 0, NULL, &g_found)) == GENREG_RC_OK)
        ++lines;
    CHECK_RC(GENREG_RC_NOT_FOUND, rc);
    CHECK(lines == 5);
    /* A matching scan: only the line whose variable is "flag". */
    CHECK_RC(GENREG_RC_OK, genreg_rewind(h));
    varval_entry(&g_key, "flag", NULL);
    CHECK_RC(GENREG_RC_OK, genreg_varval_get_next(h, GENREG_VARVAL_VARIABLE, &g_key, &g_found));
    CHECK(strcmp(g_found.Value, "yes") == 0);
    CHECK_RC(GENREG_RC_NOT_FOUND,
             genreg_varval_get_next(h, GENREG_VARVAL_VARIABLE, &g_key, &g_found));
    /* While the scan is open, updates refuse to start. */
    varval_entry(&g_new, "epsilon", "five");
    CHECK(genreg_varval_add(h, GENREG_VARVAL_VARIABLE, &g_new) != GENREG_RC_OK);
    CHECK_RC(GENREG_RC_OK, genreg_close_scan(h));
    CHECK_RC(GENREG_RC_OK, genreg_close_scan(h));
    CHECK(strstr(read_file(k_profile), "epsilon") == NULL);
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_get_position(h, NULL));

    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_open_scan(NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_close_scan(NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_rewind(NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_get_position(NULL, &position));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_set_position(NULL, position));

    /* The update hold: a second handle on the file cannot take the lock,
     * and this handle's updates run under its hold. */
    CHECK_RC(GENREG_RC_OK, genreg_varval_open(k_profile, &other));
    CHECK_RC(GENREG_RC_OK, genreg_lock_for_update(h, GENREG_WAIT_NONE));
    CHECK_RC(GENREG_RC_LOCK_ALREADY_HELD, genreg_lock_for_update(h, GENREG_WAIT_NONE));
    CHECK_RC(GENREG_RC_LOCKED, genreg_lock_for_update(other, GENREG_WAIT_NONE));
    CHECK_RC(GENREG_RC_LOCKED, genreg_lock_for_update(other, 20));
    varval_entry(&g_new, "zeta", "six");
    CHECK_RC(GENREG_RC_OK, genreg_varval_add(h, GENREG_VARVAL_VARIABLE, &g_new));
    CHECK_RC(GENREG_RC_OK, genreg_unlock_for_update(h));
    CHECK_RC(GENREG_RC_OK, genreg_unlock_for_update(h));
    CHECK_RC(GENREG_RC_OK, genreg_lock_for_update(other, GENREG_WAIT_FOREVER));
    CHECK_RC(GENREG_RC_LOCKED, genreg_lock_for_update(h, GENREG_WAIT_NONE));
    CHECK_RC(GENREG_RC_OK, genreg_close(other)); /* gives its hold up */
    CHECK_RC(GENREG_RC_OK, genreg_lock_for_update(h, GENREG_WAIT_NONE));
    CHECK_RC(GENREG_RC_OK, genreg_unlock_for_update(h));
    CHECK(strstr(read_file(k_profile), "zeta = six") != NULL);
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_lock_for_update(NULL, GENREG_WAIT_NONE));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_unlock_for_update(NULL));

    /* Closing a handle with its scan still open releases the scan. */
    CHECK_RC(GENREG_RC_OK, genreg_open_scan(h));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));
    CHECK_RC(GENREG_RC_OK, genreg_close(NULL));
    h = NULL;
    CHECK_RC(GENREG_RC_OK, genreg_varval_open(k_profile, &h));
    varval_entry(&g_new, "epsilon", "five");
    CHECK_RC(GENREG_RC_OK, genreg_varval_add(h, GENREG_VARVAL_VARIABLE, &g_new));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));
}

/* ---- services file ------------------------------------------------------------- */

static const char k_services[] = "capi-services";

static genreg_services_record_t g_skey, g_sfound, g_snew;

static uint16_t network_port(unsigned port) {
    uint16_t value = 0;
    unsigned char* bytes = (unsigned char*)&value;
    bytes[0] = (unsigned char)(port >> 8);
    bytes[1] = (unsigned char)(port & 0xFF);
    return value;
}

static void services_entry(genreg_services_record_t* r, const char* name, unsigned port,
                           const char* protocol, const char* aliases) {
    memset(r, 0, sizeof *r);
    r->Contains = GENREG_SERVICES_ENTRY;
    r->Present = GENREG_SERVICES_FIELD_NAME;
    copy_text(r->name, sizeof r->name, name);
    r->port = network_port(port);
    if (protocol) {
        r->Present |= GENREG_SERVICES_FIELD_PROTOCOL;
        copy_text(r->protocol, sizeof r->protocol, protocol);
    }
    if (aliases) {
        r->Present |= GENREG_SERVICES_FIELD_ALIASES;
        copy_text(r->aliases, sizeof r->aliases, aliases);
    }
}

static void test_services(void) {
    genreg_handle_t* h = NULL;
    int lines = 0;
    uint32_t rc = 0;

    write_file(k_services,
               "ftp\t\t21/tcp\n"
               "# just a comment\n"
               "http 80/tcp www  web\t# the web\n");
    CHECK_RC(GENREG_RC_OK, genreg_services_open(k_services, &h));
    if (!h) return;

    services_entry(&g_skey, "http", 0, NULL, NULL);
    CHECK_RC(GENREG_RC_OK, genreg_services_get(h, GENREG_SERVICES_NAME, &g_skey, &g_sfound));
    CHECK(g_sfound.Contains == (GENREG_SERVICES_ENTRY | GENREG_SERVICES_COMMENT));
    CHECK(g_sfound.port == network_port(80));
    CHECK(strcmp(g_sfound.protocol, "tcp") == 0);
    CHECK(strcmp(g_sfound.aliases, "www web") == 0);
    CHECK(strstr(g_sfound.comment, "the web") != NULL);
    CHECK(g_sfound.Present == (GENREG_SERVICES_FIELD_NAME | GENREG_SERVICES_FIELD_PROTOCOL |
                               GENREG_SERVICES_FIELD_ALIASES | GENREG_SERVICES_FIELD_COMMENT));
    /* ftp has no aliases: the list is absent, not empty. */
    services_entry(&g_skey, "ftp", 0, NULL, NULL);
    CHECK_RC(GENREG_RC_OK, genreg_services_get(h, GENREG_SERVICES_NAME, &g_skey, &g_sfound));
    CHECK((g_sfound.Present & GENREG_SERVICES_FIELD_ALIASES) == 0);
    /* The selector needs a name the key lacks. */
    g_skey.Present = 0;
    CHECK_RC(GENREG_RC_INVALID_RECORD,
             genreg_services_get(h, GENREG_SERVICES_NAME, &g_skey, &g_sfound));

    services_entry(&g_snew, "smtp", 25, "tcp", "mail  relay");
    CHECK_RC(GENREG_RC_OK, genreg_services_add(h, GENREG_SERVICES_NAME, &g_snew));
    CHECK(strstr(read_file(k_services), "smtp\t\t25/tcp\t\tmail relay") != NULL);
    services_entry(&g_skey, "smtp", 0, NULL, NULL);
    CHECK_RC(GENREG_RC_OK, genreg_services_get(h, GENREG_SERVICES_NAME, &g_skey, &g_sfound));
    CHECK(strcmp(g_sfound.aliases, "mail relay") == 0);
    services_entry(&g_snew, "smtp", 2525, "tcp", NULL);
    CHECK_RC(GENREG_RC_OK, genreg_services_change(h, GENREG_SERVICES_NAME, &g_skey, &g_snew));
    CHECK_RC(GENREG_RC_OK, genreg_services_get(h, GENREG_SERVICES_NAME, &g_skey, &g_sfound));
    CHECK(g_sfound.port == network_port(2525));
    /* Formatting an entry without its protocol. */
    services_entry(&g_snew, "pop", 110, NULL, NULL);
    CHECK_RC(GENREG_RC_LINE_PACK_FAILED, genreg_services_add(h, GENREG_SERVICES_NAME, &g_snew));

    CHECK_RC(GENREG_RC_OK, genreg_open_scan(h));
    while ((rc = genreg_services_get_next(h, 0, NULL, &g_sfound)) == GENREG_RC_OK)
        ++lines;
    CHECK_RC(GENREG_RC_NOT_FOUND, rc);
    CHECK(lines == 4);
    CHECK_RC(GENREG_RC_OK, genreg_close_scan(h));

    CHECK_RC(GENREG_RC_OK, genreg_services_delete(h, GENREG_SERVICES_NAME, &g_skey));
    CHECK_RC(GENREG_RC_NO_MATCH, genreg_services_get(h, GENREG_SERVICES_NAME, &g_skey, &g_sfound));
    CHECK(strstr(read_file(k_services), "smtp") == NULL);
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_services_add(h, GENREG_SERVICES_NAME, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT,
             genreg_services_change(h, GENREG_SERVICES_NAME, NULL, &g_snew));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_services_delete(NULL, GENREG_SERVICES_NAME, &g_skey));

    CHECK_RC(GENREG_RC_OK, genreg_services_print(&g_sfound));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_services_print(NULL));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));
}

/* ---- binary variable/value file ------------------------------------------------- */

static const char k_binvarval[] = "capi-binvarval.bin";

/* A field of 16 characters takes a text of 16 without its terminator. */
static void fill_field(char* field, const char* text) {
    size_t length = strlen(text);
    memcpy(field, text, length < 16 ? length : 16);
}

static void binvarval_entry(genreg_binvarval_record_t* r, const char* variable, int32_t value,
                            const char* comment) {
    memset(r, 0, sizeof *r);
    fill_field(r->Variable, variable);
    r->Value = value;
    fill_field(r->Comment, comment);
}

static void test_binvarval(void) {
    genreg_handle_t* h = NULL;
    genreg_binvarval_record_t key, found, record;
    int records = 0;
    uint32_t rc = 0;

    CHECK(sizeof(genreg_binvarval_record_t) == 36);
    remove(k_binvarval);
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_open(k_binvarval, &h));
    if (!h) return;

    binvarval_entry(&key, "alpha", 0, "");
    CHECK_RC(GENREG_RC_FILE_NOT_FOUND,
             genreg_binvarval_get(h, GENREG_BINVARVAL_VARIABLE, &key, &found));
    binvarval_entry(&record, "alpha", 7, "first");
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_add(h, GENREG_BINVARVAL_VARIABLE, &record));
    /* A name of all 16 characters, without a terminator, is kept whole. */
    binvarval_entry(&record, "sixteen-chars-xy", -3, "second");
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_add(h, GENREG_BINVARVAL_VARIABLE, &record));
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_get(h, GENREG_BINVARVAL_VARIABLE, &record, &found));
    CHECK(memcmp(&found, &record, sizeof found) == 0);

    CHECK_RC(GENREG_RC_OK, genreg_binvarval_get(h, GENREG_BINVARVAL_VARIABLE, &key, &found));
    CHECK(found.Value == 7 && strcmp(found.Comment, "first") == 0);
    binvarval_entry(&record, "alpha", 8, "changed");
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_change(h, GENREG_BINVARVAL_VARIABLE, &key, &record));
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_get(h, GENREG_BINVARVAL_VARIABLE, &key, &found));
    CHECK(found.Value == 8 && strcmp(found.Comment, "changed") == 0);

    CHECK_RC(GENREG_RC_OK, genreg_open_scan(h));
    while ((rc = genreg_binvarval_get_next(h, 0, &key, &found)) == GENREG_RC_OK)
        ++records;
    CHECK_RC(GENREG_RC_NOT_FOUND, rc);
    CHECK(records == 2);
    CHECK_RC(GENREG_RC_OK, genreg_rewind(h));
    /* A binary store wants a key even when every record matches. */
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_binvarval_get_next(h, 0, NULL, &found));
    CHECK_RC(GENREG_RC_OK, genreg_close_scan(h));

    CHECK_RC(GENREG_RC_OK, genreg_binvarval_delete(h, GENREG_BINVARVAL_VARIABLE, &key));
    CHECK_RC(GENREG_RC_NO_MATCH, genreg_binvarval_get(h, GENREG_BINVARVAL_VARIABLE, &key, &found));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_binvarval_add(h, GENREG_BINVARVAL_VARIABLE, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT,
             genreg_binvarval_change(h, GENREG_BINVARVAL_VARIABLE, &key, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_binvarval_delete(h, GENREG_BINVARVAL_VARIABLE, NULL));
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_print(&found));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_binvarval_print(NULL));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));
}

/* ---- global registry -------------------------------------------------------------- */

static const char k_global[] = "capi-global.reg";
static genreg_global_record_t g_gkey, g_gfound, g_grecord;

static void global_service(genreg_global_record_t* r, uint64_t versionCode, uint32_t level) {
    memset(r, 0, sizeof *r);
    r->RecordType = GENREG_GLOBAL_SERVICE;
    r->FieldMask =
        GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE | GENREG_SVC_TEXT4 | GENREG_SVC_LEVEL;
    copy_text(r->Fields.Service.Service, sizeof r->Fields.Service.Service, "QVR");
    r->Fields.Service.VersionCode = versionCode;
    copy_text(r->Fields.Service.ServiceText4, sizeof r->Fields.Service.ServiceText4, "/opt/qvr");
    r->Fields.Service.Level = level;
}

static void global_variable(genreg_global_record_t* r, const char* variable, const char* value) {
    memset(r, 0, sizeof *r);
    r->RecordType = GENREG_GLOBAL_VARIABLE;
    r->FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE | (value ? GENREG_VAR_VALUE : 0);
    copy_text(r->Fields.Variable.Service, sizeof r->Fields.Variable.Service, "QVR");
    copy_text(r->Fields.Variable.Variable, sizeof r->Fields.Variable.Variable, variable);
    if (value) copy_text(r->Fields.Variable.Value, sizeof r->Fields.Variable.Value, value);
}

static void test_global(void) {
    const uint64_t code974 = 0x0009000700040000ULL;
    const uint64_t serviceKey = GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE;
    const uint64_t variableKey = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;
    genreg_handle_t* h = NULL;
    genreg_handle_t* other = NULL;
    char path[300];
    uint16_t length = sizeof path;
    uint64_t count = 99;
    int records = 0;
    uint32_t rc = 0;

    CHECK(sizeof(genreg_global_record_t) == 2608);
    remove(k_global);
    set_env("QVR_GLOBAL_REG_PATHNAME", k_global);
    CHECK_RC(GENREG_RC_OK, genreg_global_path(path, &length));
    CHECK(strcmp(path, k_global) == 0 && length == sizeof k_global);
    length = 4;
    CHECK_RC(GENREG_RC_GLOBAL_PATH_TOO_LONG, genreg_global_path(path, &length));
    CHECK(length == sizeof k_global);
    CHECK_RC(GENREG_RC_GLOBAL_PATH_NO_BUFFER, genreg_global_path(NULL, &length));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_global_open(NULL));

    CHECK_RC(GENREG_RC_OK, genreg_global_open(&h));
    if (!h) return;
    global_service(&g_grecord, code974, 1);
    CHECK_RC(GENREG_RC_OK, genreg_global_add(h, serviceKey, &g_grecord));
    global_variable(&g_grecord, "QVRPATH", "/opt/qvr");
    CHECK_RC(GENREG_RC_OK, genreg_global_add(h, variableKey, &g_grecord));
    /* The caller's record is read only: the library packs its own copy. */
    CHECK(g_grecord.RecordType == GENREG_GLOBAL_VARIABLE &&
          strcmp(g_grecord.Fields.Variable.Value, "/opt/qvr") == 0);
    CHECK_RC(GENREG_RC_DUPLICATE, genreg_global_add(h, variableKey, &g_grecord));

    global_variable(&g_gkey, "QVRPATH", NULL);
    CHECK_RC(GENREG_RC_OK, genreg_global_get(h, variableKey, &g_gkey, &g_gfound));
    CHECK(g_gfound.RecordType == GENREG_GLOBAL_VARIABLE &&
          (g_gfound.FieldMask & GENREG_VAR_VALUE) != 0 &&
          strcmp(g_gfound.Fields.Variable.Value, "/opt/qvr") == 0);
    global_variable(&g_grecord, "QVRPATH", "/opt/other");
    CHECK_RC(GENREG_RC_OK, genreg_global_change(h, variableKey, &g_gkey, &g_grecord));
    CHECK_RC(GENREG_RC_OK, genreg_global_get(h, variableKey, &g_gkey, &g_gfound));
    CHECK(strcmp(g_gfound.Fields.Variable.Value, "/opt/other") == 0);
    g_gkey.RecordType = 9;
    CHECK_RC(GENREG_RC_INVALID_RECORD, genreg_global_get(h, variableKey, &g_gkey, &g_gfound));

    /* The level upgrade changes the service record of the running version. */
    set_env("GENREG_LEVEL_VERSION", "9.7.4.0");
    set_env("GENREG_LEVEL_NUMBER", "5");
    CHECK_RC(GENREG_RC_OK, genreg_global_upgrade_levels(h, &count));
    CHECK(count == 1);
    global_service(&g_gkey, code974, 0);
    CHECK_RC(GENREG_RC_OK, genreg_global_get(h, serviceKey, &g_gkey, &g_gfound));
    CHECK(g_gfound.Fields.Service.Level == 5);
    CHECK_RC(GENREG_RC_OK, genreg_global_upgrade_levels(h, &count));
    CHECK(count == 0);
    CHECK_RC(GENREG_RC_OK, genreg_binvarval_open("capi-global.bin", &other));
    CHECK_RC(GENREG_RC_BAD_ARGUMENT, genreg_global_upgrade_levels(other, &count));
    CHECK_RC(GENREG_RC_BAD_ARGUMENT, genreg_global_get(other, serviceKey, &g_gkey, &g_gfound));
    CHECK_RC(GENREG_RC_OK, genreg_close(other));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_global_upgrade_levels(NULL, &count));

    CHECK_RC(GENREG_RC_OK, genreg_open_scan(h));
    memset(&g_gkey, 0, sizeof g_gkey);
    while ((rc = genreg_global_get_next(h, 0, &g_gkey, &g_gfound)) == GENREG_RC_OK)
        ++records;
    CHECK_RC(GENREG_RC_NOT_FOUND, rc);
    CHECK(records == 2);
    CHECK_RC(GENREG_RC_OK, genreg_close_scan(h));

    global_service(&g_gkey, code974, 0);
    CHECK_RC(GENREG_RC_OK, genreg_global_delete(h, serviceKey, &g_gkey));
    CHECK_RC(GENREG_RC_NO_MATCH, genreg_global_get(h, serviceKey, &g_gkey, &g_gfound));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_global_add(h, serviceKey, NULL));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_global_change(h, serviceKey, NULL, &g_grecord));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_global_delete(h, serviceKey, NULL));
    CHECK_RC(GENREG_RC_OK, genreg_global_print(&g_grecord));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_global_print(NULL));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));

    /* A path that does not fit: the handle exists but refuses to work. */
    memset(path, 'g', sizeof path - 1);
    path[sizeof path - 1] = '\0';
    set_env("QVR_GLOBAL_REG_PATHNAME", path);
    h = NULL;
    CHECK_RC(GENREG_RC_OK, genreg_global_open(&h));
    global_service(&g_grecord, code974, 1);
    CHECK(genreg_global_add(h, serviceKey, &g_grecord) != GENREG_RC_OK);
    CHECK_RC(GENREG_RC_NOT_INITIALIZED, genreg_open_scan(h));
    CHECK_RC(GENREG_RC_OK, genreg_close(h));
    set_env("QVR_GLOBAL_REG_PATHNAME", NULL);
}

/* ---- instances and services --------------------------------------------------------- */

/* The test machine has no product installed: lists open empty or not at
 * all, lookups find nothing, and the writers are not supported. */
static void test_directory(void) {
    genreg_instance_list_t* instances = NULL;
    genreg_service_list_t* services = NULL;
    genreg_instance_info_t instance;
    genreg_service_info_t service;
    uint32_t rc = 0;
    int view64 = 0;

    memset(&instance, 0, sizeof instance);
    memset(&service, 0, sizeof service);
    for (view64 = 0; view64 <= 1; ++view64) {
        rc = genreg_instance_list_open("QVR", view64, &instances);
        CHECK(rc == GENREG_RC_OK || rc == GENREG_RC_LIST_OPEN_FAILED ||
              rc == GENREG_RC_REGISTRY_KEY_NOT_FOUND);
        if (rc == GENREG_RC_OK) {
            CHECK_RC(GENREG_RC_NOT_FOUND, genreg_instance_list_next(instances, &instance, view64));
            CHECK_RC(GENREG_RC_OK, genreg_instance_list_close(instances));
        } else {
            CHECK(instances == NULL);
        }
        rc = genreg_service_list_open(view64, &services);
        CHECK(rc == GENREG_RC_OK || rc == GENREG_RC_LIST_OPEN_FAILED ||
              rc == GENREG_RC_REGISTRY_KEY_NOT_FOUND);
        if (rc == GENREG_RC_OK) {
            CHECK_RC(GENREG_RC_NOT_FOUND, genreg_service_list_next(services, &service, view64));
            CHECK_RC(GENREG_RC_OK, genreg_service_list_close(services));
        } else {
            CHECK(services == NULL);
        }
    }
    CHECK_RC(GENREG_RC_NULL_LIST_TYPE, genreg_instance_list_open(NULL, 0, &instances));
    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_instance_list_open("QVR", 0, NULL));
    CHECK_RC(GENREG_RC_NULL_LIST_HANDLE, genreg_instance_list_next(NULL, &instance, 0));
    CHECK_RC(GENREG_RC_NULL_LIST_HANDLE, genreg_instance_list_close(NULL));
    CHECK_RC(GENREG_RC_INSTANCE_INFO_FAILED,
             genreg_instance_info_get("QVR", 0, "NOSUCH", NULL, &instance, 0));
    CHECK_RC(GENREG_RC_NULL_INSTANCE_INFO,
             genreg_instance_info_get("QVR", 0, "NOSUCH", NULL, NULL, 0));
    CHECK_RC(GENREG_RC_NOT_SUPPORTED, genreg_instance_info_set(&instance));
    CHECK_RC(GENREG_RC_NULL_INSTANCE_INFO, genreg_instance_info_set(NULL));
    CHECK_RC(GENREG_RC_NOT_SUPPORTED, genreg_instance_info_remove("QVR", 0, "NOSUCH"));

    CHECK_RC(GENREG_RC_NULL_ARGUMENT, genreg_service_list_open(0, NULL));
    CHECK_RC(GENREG_RC_NULL_LIST_HANDLE, genreg_service_list_next(NULL, &service, 0));
    CHECK_RC(GENREG_RC_NULL_LIST_HANDLE, genreg_service_list_close(NULL));
    CHECK_RC(GENREG_RC_SERVICE_INFO_FAILED,
             genreg_service_info_get("QVR", 0, "C:\\NOSUCH", NULL, &service, 0));
    CHECK_RC(GENREG_RC_NULL_SERVICE_INFO,
             genreg_service_info_get("QVR", 0, "C:\\NOSUCH", NULL, NULL, 0));
    CHECK_RC(GENREG_RC_NOT_SUPPORTED, genreg_service_info_set(&service));
    CHECK_RC(GENREG_RC_NULL_SERVICE_INFO, genreg_service_info_set(NULL));
    CHECK_RC(GENREG_RC_NOT_SUPPORTED, genreg_service_info_remove("QVR", 0));
}

/* ---- driver ----------------------------------------------------------------------- */

struct group {
    const char* name;
    void (*run)(void);
};

static const struct group k_groups[] = {
    {"codes", test_codes},   {"version", test_version},     {"varval", test_varval},
    {"scan", test_scan},     {"services", test_services},   {"binvarval", test_binvarval},
    {"global", test_global}, {"directory", test_directory},
};

int main(int argc, char** argv) {
    size_t i;
    if (argc != 2) {
        fprintf(stderr, "usage: capi_test GROUP\n");
        return 2;
    }
    for (i = 0; i < sizeof k_groups / sizeof k_groups[0]; ++i) {
        if (strcmp(argv[1], k_groups[i].name) != 0) continue;
        k_groups[i].run();
        printf("capi_test %s: %d checks, %d failed\n", argv[1], g_checks, g_failures);
        return g_failures == 0 ? 0 : 1;
    }
    fprintf(stderr, "capi_test: no group %s\n", argv[1]);
    return 2;
}
