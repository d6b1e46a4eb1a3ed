// Root architectures as RSML files (Root System Markup Language, version
// 1), the exchange format that root-system viewers, simulation models and
// statistics packages read: one file per picture, one plant per confirmed
// plant, one root per main or lateral root with the points along it,
// laterals nested in their parent root in the order of the result file, and
// the measures of the result file as properties.
#pragma once

#include <string>

class KW_SciDoc;

// What an RSML file records besides the trees. Text, as the options of an
// analysis give it.
struct RsmlMetadata {
  std::string user;
  std::string experiment;
  std::string box;
  std::string genotype;
  std::string media;
  std::string age;            // days after germination; written when a whole number
  std::string resolutionDpi;  // the picture's dots per inch, as typed; may be empty
  // yyyy-mm-ddThh:mi:ss; empty for the local time of writing.
  std::string lastModified;
};

// The RSML text of doc's measured trees. Coordinates are pixels of the
// picture as it was opened, x to the right and y downwards from its
// top-left corner, so viewers draw the roots over that picture; lengths
// are in centimetres (unit "cm", resolution the pixels per centimetre),
// or in pixels (unit "pixel", resolution 1) for a document without a
// usable scale. Each plant carries its sample's fields, the picture's name
// and its quality flags. False, with the reason in error, when doc has no
// plant (an RSML scene holds at least one).
bool RsmlText(const KW_SciDoc& doc, const RsmlMetadata& metadata, std::string& text, std::string& error);

// Writes the RSML file of doc at path, whole or not at all.
bool WriteRsmlFile(const std::string& path, const KW_SciDoc& doc, const RsmlMetadata& metadata,
                   std::string& error);

// text made safe as XML character data or attribute value: markup
// characters as entities, bytes that are not UTF-8 read as Latin-1, control
// characters XML forbids as U+FFFD.
std::string XmlEscaped(const std::string& text);
