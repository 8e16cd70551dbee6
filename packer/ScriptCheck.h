// Checks of a script's meaning: what the installer would refuse or fail on
// when it runs the script.
#ifndef PACKER_SCRIPTCHECK_H
#define PACKER_SCRIPTCHECK_H

#include "packer/Problems.h"
#include "script/Installer.h"

namespace Packer
{
// Every fault the checks find, with JSON pointers to the place in the
// script's JSON form: modes an object does not have, empty names and paths,
// lists of different length, registry paths without a root, unknown shell
// verbs, patch tables that do not match the targets, replacements longer
// than their pattern, and malformed or undefined variable references in the
// strings the installer expands (checked as the installer would see them,
// with the script's defines and the installer's own variables).
Problems CheckScript(const CInstaller& script);
} // namespace Packer

#endif
