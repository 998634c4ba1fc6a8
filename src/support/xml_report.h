// The XML library's reports about one parse, into the log.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

// For as long as it lives, every report of the XML library about the
// parse of `ctxt` goes to the log (log_library) whole, one line each in the
// library's words, with the input's name and the report's texts escaped
// and cut as values in messages are, and without the line of input the
// library would quote (it may hold a password or a terminal's control
// sequence). The parser's own reports come through the context's handler;
// the few the library raises without one (a conversion of the input's
// encoding that fails) through the thread's structured handler. Both
// belong to this one parse: the context is the parse's own, and the
// thread's handler is set for the parse and the previous one given back
// afterwards, so a program that parses with the library itself keeps its
// own handlers.
class xml_reports_to_log {
  public:
    explicit xml_reports_to_log(xmlParserCtxt *ctxt);
    ~xml_reports_to_log();
    xml_reports_to_log(const xml_reports_to_log &) = delete;
    xml_reports_to_log &operator=(const xml_reports_to_log &) = delete;

  private:
    xmlStructuredErrorFunc saved_;
    void *saved_context_;
};
