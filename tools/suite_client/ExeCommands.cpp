// The command that reads a program's exe file rather than talking to the running program:
// manifest.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ClientSupport.h"
#include "Commands.h"

namespace tools::suite_client {

// Prints the application manifest of the exe FILE as Windows finds it when it starts the
// program: resource 1 of type RT_MANIFEST, its bytes unchanged. The file is loaded as data
// only, so an exe of the other bitness, or one that would not start here, is read as well.
int RunManifest(const Args& args, const Options& /*options*/) {
  const std::string& file = args[0];
  HMODULE image = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) {
    PrintError("cannot read \"%s\" (error %lu)", file.c_str(), GetLastError());
    return kFailure;
  }
  int result = kRefused;
  HRSRC found = FindResourceA(image, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
  HGLOBAL loaded = found != nullptr ? LoadResource(image, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes != nullptr) {
    std::fwrite(bytes, 1, SizeofResource(image, found), stdout);
    std::fflush(stdout);
    result = kOk;
  } else {
    PrintError("\"%s\" has no manifest resource (RT_MANIFEST 1)", file.c_str());
  }
  FreeLibrary(image);
  return result;
}

}  // namespace tools::suite_client
