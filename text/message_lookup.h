#pragma once

#include <QString>

#include <string>

class Message;

// What the dialogs and the dock read from a message a codec sent. A codec may leave out any
// attribute or child, so a missing one reads as empty text or null, never as an error.

// The text of `element`'s attribute; empty when it has none.
QString attributeText(const Message& element, const char* attribute);
// The same, cut as shownCodecText cuts it, for a label or a tree cell.
QString shownAttributeText(const Message& element, const char* attribute);
// The first child of `parent` named `name`; null when it has none.
const Message* firstChild(const Message& parent, const std::string& name);
