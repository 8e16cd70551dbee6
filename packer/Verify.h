// Checking an installer file step by step: marker, header, checksum, body,
// script, so that a fault can be named.
#ifndef PACKER_VERIFY_H
#define PACKER_VERIFY_H

#include <string>
#include <vector>

#include "packer/Text.h"

namespace Packer
{
struct VerifyResult
{
    bool ok = false;
    // What was found, one fact a line, as far as the checks got.
    std::vector<std::string> lines;
    // Oddities the installer tolerates, and faults of the script's meaning.
    std::vector<std::string> warnings;
    // What is wrong, when not ok.
    std::string failure;
};

// The Authenticode signature of an installer, found as the installer finds
// it: a certificate table at the end of the file, behind the package.
struct SignatureInfo
{
    bool present = false;
    size_t offset = 0;      // of the certificate table
    size_t size = 0;        // of the certificate table
    size_t packageEnd = 0;  // where the package stream ends (less padding)
};
// For an installer whose package stream starts at nStart.
SignatureInfo FindSignature(const ByteVector& file, size_t nStart);

// Takes an installer (stub, marker, package) or a bare package stream.
VerifyResult VerifyInstaller(const ByteVector& file);
} // namespace Packer

#endif
