// What the fuzz targets share: a private scratch folder for the files the
// units under test read, and a quiet standard output (the units print
// progress lines that would only slow the run down).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzsupport {

// A folder of this process, made on first use under /dev/shm when there is
// one (no disk traffic for the files written on every input), else under
// TMPDIR or /tmp. Also becomes the host folder (registry, event log) of the
// platform layer, so nothing outside it is read or written.
const std::string& scratchFolder();

// Writes size bytes to a file in the scratch folder and returns its path.
std::string writeScratchFile(const char* name, const uint8_t* data, size_t size);

// Sends standard output to /dev/null.
void silenceOutput();

// Stops the run with a crash that libFuzzer reports, when a property that
// must hold for every input does not.
[[noreturn]] void propertyBroken(const char* what);

}  // namespace fuzzsupport
