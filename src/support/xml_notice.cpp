#include "support/xml_notice.h"

#include "support/log_input.h"
#include "support/xml_tree.h"

void xml_pass_over(log_input &messages, const xml_node *node)
{
    if (!node->is_element())
        return;
    // The line end belongs to the format: a value is shown with its control
    // characters escaped.
    messages.notice(messages.line_end()[0] == '\n' ? "%s[%ld]: passed over <%s> in <%s>\n"
                                                   : "%s[%ld]: passed over <%s> in <%s>",
                    messages.path(), node->line, node->name, node->parent->name);
}
