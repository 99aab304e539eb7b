#ifndef VQ_APP_XML_FILE_H_
#define VQ_APP_XML_FILE_H_

#include <tinyxml.h>

// Loads `fileName` into `document` like TiXmlDocument::LoadFile, but refuses
// anything that is not a regular file (TinyXML sizes a directory as a huge
// file and fails with std::bad_alloc). A refused or missing file fails with
// TinyXML's "Failed to open file" error.
bool loadXmlFile(TiXmlDocument& document, const char* fileName,
                 TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);

#endif  // VQ_APP_XML_FILE_H_
