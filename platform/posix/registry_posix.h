// The POSIX stand-in registry's shared pieces: parsed export files shared
// by reference between the keys, services and cluster handles that read
// them, and the local machine's file.
#ifndef GENREG_PLATFORM_POSIX_REGISTRY_POSIX_H
#define GENREG_PLATFORM_POSIX_REGISTRY_POSIX_H

#include <atomic>

#include "platform/registry_export.h"

// A parsed export file. Immutable once built, so any thread may read it;
// freed when the last reference goes.
struct OSSRegSharedTree {
    std::atomic<int> refs;
    OSSRegTreeNode* root;
};

// A new shared tree with one reference, owning root; null when out of
// memory (root is then freed).
OSSRegSharedTree* ossRegSharedTreeNew(OSSRegTreeNode* root);
void ossRegSharedTreeRetain(OSSRegSharedTree* tree);
void ossRegSharedTreeRelease(OSSRegSharedTree* tree);

// The local machine's registry (GENREG_REGISTRY_FILE, read again when the
// file changes): 0, a new reference in *tree and its HKEY_LOCAL_MACHINE
// node in *machine (an empty node when the file has none); otherwise 2 or
// 1009, logged once per version of the file.
uint32_t ossRegLocalMachineTree(OSSRegSharedTree** tree, const OSSRegTreeNode** machine);

// The HKEY_LOCAL_MACHINE node of a parsed file (an empty node if absent).
const OSSRegTreeNode* ossRegMachineNode(const OSSRegTreeNode* root);

#endif
