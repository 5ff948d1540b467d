// The whole public interface of the genreg library.
#ifndef GENREG_GENREG_H
#define GENREG_GENREG_H

#include <genreg/binvarval.h>
#include <genreg/diagnostics.h>
#include <genreg/directory.h>
#include <genreg/export.h>
#include <genreg/genreg_c.h>
#include <genreg/globalreg.h>
#include <genreg/handle.h>
#include <genreg/lines.h>
#include <genreg/rc.h>
#include <genreg/services.h>
#include <genreg/varval.h>
#include <genreg/version.h>

#endif
