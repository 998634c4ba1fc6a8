// Exits 0 when every file named on the command line is a well-formed XML
// document, 1 otherwise (the parser says why on standard error).
#include <libxml/parser.h>

int main(int argc, char **argv)
{
    int status = 0;
    for (int i = 1; i < argc; i++) {
        xmlDoc *doc = xmlReadFile(argv[i], nullptr, XML_PARSE_NONET);
        if (doc == nullptr)
            status = 1;
        xmlFreeDoc(doc);
    }
    return status;
}
