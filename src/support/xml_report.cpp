#include "support/xml_report.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "support/log.h"
#include "support/log_input.h"
#include "support/xml_handle.h"

namespace {

// The library's words for where a report comes from and how grave it is,
// as it prints them itself.
constexpr struct {
    int domain;
    const char *name;
} kReportOrigins[] = {
    {XML_FROM_PARSER, "parser "},       {XML_FROM_NAMESPACE, "namespace "},
    {XML_FROM_DTD, "validity "},        {XML_FROM_VALID, "validity "},
    {XML_FROM_HTML, "HTML parser "},    {XML_FROM_MEMORY, "memory "},
    {XML_FROM_OUTPUT, "output "},       {XML_FROM_IO, "I/O "},
    {XML_FROM_XINCLUDE, "XInclude "},   {XML_FROM_XPATH, "XPath "},
    {XML_FROM_XPOINTER, "parser "},     {XML_FROM_REGEXP, "regexp "},
    {XML_FROM_MODULE, "module "},       {XML_FROM_SCHEMASV, "Schemas validity "},
    {XML_FROM_SCHEMASP, "Schemas parser "}, {XML_FROM_RELAXNGP, "Relax-NG parser "},
    {XML_FROM_RELAXNGV, "Relax-NG validity "}, {XML_FROM_CATALOG, "Catalog "},
    {XML_FROM_C14N, "C14N "},           {XML_FROM_XSLT, "XSLT "},
    {XML_FROM_I18N, "encoding "},       {XML_FROM_SCHEMATRONV, "schematron "},
    {XML_FROM_BUFFER, "internal buffer "}, {XML_FROM_URI, "URI "},
};

const char *report_origin(int domain)
{
    for (const auto &origin : kReportOrigins) {
        if (origin.domain == domain)
            return origin.name;
    }
    return "";
}

// Reports that quote the input in their text, and where the quote
// starts: what a comment, a CDATA section or a failed conversion holds may
// be a password (a URL commented out, say). The library's other reports
// quote names, numbers and its own words.
constexpr struct {
    int domain;
    int code;
    const char *quote;
} kQuotingReports[] = {
    {XML_FROM_PARSER, XML_ERR_HYPHEN_IN_COMMENT, ": <!--"},
    {XML_FROM_I18N, XML_I18N_CONV_FAILED, ", bytes"},
};

// The report's own text, as much of it as may be shown: its first line
// (the reports of more lines quote the input on the next ones: text that
// is not UTF-8, a comment or a CDATA section not closed), without what
// the reports above quote. A value of the report that holds an '@' is no
// name (a name cannot hold one) but a URI or a literal, which may carry
// user information: it is shown as a password is.
std::string report_text(const xmlError *error)
{
    std::string text = error->message != nullptr ? error->message : "out of memory error";
    for (const char *value : {error->str1, error->str2, error->str3}) {
        if (value == nullptr || std::strchr(value, '@') == nullptr)
            continue;
        const std::string_view quoted(value);
        for (size_t at = text.find(quoted); at != std::string::npos;
             at = text.find(quoted, at + std::strlen(kLogSecret)))
            text.replace(at, quoted.size(), kLogSecret);
    }
    text.resize(std::min(text.size(), text.find('\n')));
    for (const auto &quoting : kQuotingReports) {
        if (error->domain == quoting.domain && error->code == quoting.code)
            text.resize(std::min(text.size(), text.find(quoting.quote)));
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// One report, whole, in the library's words (without the line of input it
// would quote, with a caret under the place: that line may hold a
// password or a terminal's control sequence, and the line number says
// where already), with the name of the input and every text of the report
// shown as values are.
void report_to_log(void *context, xmlError *error)
{
    if (error == nullptr || error->code == XML_ERR_OK)
        return;
    const int level = error->level == XML_ERR_ERROR || error->level == XML_ERR_FATAL
                          ? LOG_LEVEL_ERROR
                          : LOG_LEVEL_WARNING;
    std::string line;
    const char *file = error->file;
    long at = error->line;
    // A report raised without a parser (the conversion of the input's
    // encoding) gets the place the parse of `context` has reached.
    const auto *ctxt = static_cast<const xmlParserCtxt *>(context);
    if (file == nullptr && at == 0 && error->ctxt == nullptr && ctxt != nullptr &&
        ctxt->input != nullptr) {
        file = ctxt->input->filename;
        at = ctxt->input->line;
    }
    if (file != nullptr)
        line += log_input_value(file) + ":" + std::to_string(at) + ": ";
    else if (at != 0 && error->domain == XML_FROM_PARSER)
        line += "Entity: line " + std::to_string(at) + ": ";
    const auto *node = static_cast<const xmlNode *>(error->node);
    if (node != nullptr && node->type == XML_ELEMENT_NODE && node->name != nullptr)
        line += "element " + log_input_value(xml_chars(node->name)) + ": ";
    line += report_origin(error->domain);
    line += level == LOG_LEVEL_ERROR        ? "error : "
            : error->level == XML_ERR_NONE ? ": "
                                            : "warning : ";
    line += log_input_value(report_text(error).c_str());
    log_library(level, line.c_str());
}
} // namespace

xml_reports_to_log::xml_reports_to_log(xmlParserCtxt *ctxt)
    : saved_(xmlStructuredError), saved_context_(xmlStructuredErrorContext)
{
    ctxt->sax->serror = report_to_log;
    xmlSetStructuredErrorFunc(ctxt, report_to_log);
}

xml_reports_to_log::~xml_reports_to_log()
{
    xmlSetStructuredErrorFunc(saved_context_, saved_);
}
