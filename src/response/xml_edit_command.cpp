#include "response/xml_edit_command.h"

#include <tinyxml.h>

#include <cstring>

#include "support/vq_exception.h"

namespace {

VqException missingAttribute(const std::string& url, VqErrorCode code,
                             const char* message) {
  return VqException(url.c_str(), VqException::zone(1),
                     VqException::severity(2), code, "%s", message);
}

void appendContent(const TiXmlElement& command, TiXmlNode* parent) {
  for (const TiXmlNode* child = command.FirstChild(); child;
       child = child->NextSibling()) {
    parent->InsertEndChild(*child);
  }
}

// Inserts the content before `anchor`, a child of `parent`; inserting each
// copy before the same anchor keeps the written order.
void insertContentBefore(const TiXmlElement& command, TiXmlNode* parent,
                         TiXmlNode* anchor) {
  for (const TiXmlNode* child = command.FirstChild(); child;
       child = child->NextSibling()) {
    parent->InsertBeforeChild(anchor, *child);
  }
}

TiXmlNode* childAt(TiXmlNode* parent, int position) {
  if (position < 0) return nullptr;
  TiXmlNode* child = parent->FirstChild();
  for (int i = 0; child && i < position; ++i) child = child->NextSibling();
  return child;
}

}  // namespace

void applyXmlEditCommand(const TiXmlElement& command, TiXmlElement* target,
                         const std::string& url) {
  const char* name = command.Value();
  TiXmlNode* parent = target->Parent();

  if (std::strcmp(name, "append") == 0) {
    appendContent(command, target);
  } else if (std::strcmp(name, "clearAttribute") == 0) {
    const char* attribute = command.Attribute("name");
    if (!attribute) {
      throw missingAttribute(url, kErrXmlEditClearAttributeNoName,
                             "XmlEdit::process - clearAttribute command "
                             "requires name attribute");
    }
    target->RemoveAttribute(attribute);
  } else if (std::strcmp(name, "delete") == 0) {
    if (parent) parent->RemoveChild(target);
  } else if (std::strcmp(name, "insertAfter") == 0) {
    if (!parent) return;
    TiXmlNode* anchor = target->NextSibling();
    if (anchor) {
      insertContentBefore(command, parent, anchor);
    } else {
      appendContent(command, parent);
    }
  } else if (std::strcmp(name, "insertAt") == 0) {
    if (!command.Attribute("position")) {
      throw missingAttribute(url, kErrXmlEditInsertAtNoPosition,
                             "XmlEdit::process - insertAt command requires "
                             "position attribute");
    }
    int position = 0;
    if (command.QueryIntAttribute("position", &position) != TIXML_SUCCESS) {
      throw missingAttribute(url, kErrXmlEditInsertAtNotNumeric,
                             "XmlEdit::process - insertAt position attribute "
                             "not numeric");
    }
    TiXmlNode* anchor = childAt(target, position);
    if (anchor) {
      insertContentBefore(command, target, anchor);
    } else {
      appendContent(command, target);
    }
  } else if (std::strcmp(name, "insertBefore") == 0) {
    if (parent) insertContentBefore(command, parent, target);
  } else if (std::strcmp(name, "setAttribute") == 0) {
    const char* attribute = command.Attribute("name");
    if (!attribute) {
      throw missingAttribute(url, kErrXmlEditSetAttributeNoName,
                             "XmlEdit::process - setAttribute command has no "
                             "name attribute");
    }
    const char* value = command.Attribute("value");
    if (!value) {
      throw missingAttribute(url, kErrXmlEditSetAttributeNoValue,
                             "XmlEdit::process - setAttribute command has no "
                             "value attribute");
    }
    target->SetAttribute(attribute, value);
  } else if (std::strcmp(name, "replace") == 0) {
    if (!parent) return;
    insertContentBefore(command, parent, target);
    parent->RemoveChild(target);
  }
}
