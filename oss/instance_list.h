// The instance list behind ossOpenInstanceList / ossGetNextInstance /
// ossCloseInstanceList and the lookup ossGetInstanceInfo.
//
// A list walks the installed copies (subkeys of INSTALLEDCOPIES in the
// registry's enumeration order), then the top-level copy, and within each
// copy the subkeys of the kind's profiles key. Copies without that key, or
// with an empty one, contribute nothing; the top-level copy contributes
// only while its level is below 9.
//
// Ownership: the list owns, from the open (or first need) to the close,
// the copies key, the current copy's profiles key, the service manager
// connection and the cluster connection. Every other key, service handle
// and cluster key is opened and closed within one call, on every path.
#ifndef GENREG_OSS_INSTANCE_LIST_H
#define GENREG_OSS_INSTANCE_LIST_H

#include <genreg/directory.h>

#include <cstdint>

#include "oss/product_registry.h"
#include "platform/registry.h"

// What distinguishes the two kinds of list.
struct DirKind {
    const char* type;            // "QVR" or "PLV"
    const char* profilesSubkey;  // below a copy key
    const char* clusterPrefix;   // below the cluster root
    const char* profileValue;    // the profile directory value of an instance key
};
enum : int { DIR_KIND_INSTANCE = 0, DIR_KIND_ADMIN = 1, DIR_KIND_NONE = -1 };
extern const DirKind kDirKinds[2];

// Both handles are obtained, or the list has no connection.
struct DirClusterConnection {
    OSSCluster cluster;
    OSSClusterKey root;
};

struct DirInstanceList {
    OSSRegKey profilesKey;  // of the current copy, or null
    OSSRegKey copiesKey;    // null once missing or fully walked
    OSSService manager;     // null when the connection failed
    DirClusterConnection* cluster;
    int32_t instanceIndex;              // next subkey of profilesKey
    int32_t copyIndex;                  // next subkey of copiesKey; -1 on the top-level copy
    int kind;                           // DIR_KIND_INSTANCE or DIR_KIND_ADMIN
    char copyName[DIR_COPY_NAME_SIZE];  // empty for the top-level copy
};

// Log identifiers of the list's internal steps, for callers' ossLogRC.
enum : uint32_t {
    DIR_FID_INSTANCE_LIST_OPEN = 0x082A0130U,
    DIR_FID_INSTANCE_LIST_NEXT = 0x082A0132U,
};

// Opens a list of kind (DIR_KIND_NONE: the type text was not recognised,
// which fails after the copies key was tried). 0 and *list; otherwise a
// return code or mapped system error, logged, with nothing left open.
uint32_t DirInstanceListOpen(int kind, bool view64, DirInstanceList** list);

// The next entry into *info. 0; GENREG_RC_NOT_FOUND at the end; otherwise
// the inner failure (a return code or a Windows error number), logged.
uint32_t DirInstanceListNext(DirInstanceList* list, OSSInstanceInfo_t* info, bool view64);

// Releases everything the list holds, and the list.
void DirInstanceListClose(DirInstanceList* list);

// The profile directory of the entry in *info (remote, clustered or local
// case), from its open instance key. *keepPosition tells the caller to
// return the result at once without moving to the next entry (the local
// case's fallback failed, or no memory for the cluster connection).
uint32_t DirInstanceProfilePath(DirInstanceList* list, OSSRegKey instanceKey,
                                OSSInstanceInfo_t* info, bool view64, bool* keepPosition);

// Releases the list's cluster connection, if any.
void DirInstanceClusterRelease(DirInstanceList* list);

#endif
