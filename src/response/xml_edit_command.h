#ifndef VQ_RESPONSE_XML_EDIT_COMMAND_H_
#define VQ_RESPONSE_XML_EDIT_COMMAND_H_

#include <string>

class TiXmlElement;

// Applies one command of an "xmledit" action to one selected element of the
// edited document. The command element's name says what to do; its child
// nodes (elements, text and comments alike) are the content it inserts, as
// copies, so one command can serve several targets:
//   append          content appended as the target's last children
//   clearAttribute  attribute "name" removed from the target
//   delete          the target removed with all its descendants
//   insertAfter     content inserted right after the target
//   insertAt        content inserted before the target's child node at
//                   index "position" (0-based, every kind of node counted),
//                   or appended when the index is negative or too large
//   insertBefore    content inserted right before the target
//   setAttribute    attribute "name" set to "value"
//   replace         content inserted in the target's place, target removed
// Inserted content keeps its written order. Any other command name does
// nothing. Attributes the command needs are checked here, per target, so a
// command that selects nothing never fails; a missing one throws VqException
// carrying `url` (codes 50 to 70). After delete and replace `target` is
// destroyed.
void applyXmlEditCommand(const TiXmlElement& command, TiXmlElement* target,
                         const std::string& url);

#endif  // VQ_RESPONSE_XML_EDIT_COMMAND_H_
