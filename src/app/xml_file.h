#ifndef VQ_APP_XML_FILE_H_
#define VQ_APP_XML_FILE_H_

#include <tinyxml.h>

// Loads `fileName` into `document` like TiXmlDocument::LoadFile, but reads
// only a regular file of at most vq_bounds::kMaxXmlBytes bytes, opened
// without blocking (TinyXML sizes a directory as a huge file and fails with
// std::bad_alloc; a FIFO would block the open, a device never ends). A
// refused or missing file fails with TinyXML's "Failed to open file" error.
bool loadXmlFile(TiXmlDocument& document, const char* fileName);

#endif  // VQ_APP_XML_FILE_H_
