#include "app/xml_file.h"

#include <sys/stat.h>

bool loadXmlFile(TiXmlDocument& document, const char* fileName,
                 TiXmlEncoding encoding) {
  struct stat info;
  if (stat(fileName, &info) != 0 || !S_ISREG(info.st_mode)) {
    document.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr,
                      encoding);
    return false;
  }
  return document.LoadFile(fileName, encoding);
}
