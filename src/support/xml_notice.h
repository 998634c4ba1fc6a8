// What both configuration readers say about a node of the compact tree
// that they pass over.
#pragma once

class log_input;
struct xml_node;

// The notice of a reader that passes over an element it does not know,
// "PATH[LINE]: passed over <NAME> in <PARENT>", through the read's channel
// and ended as the channel's other messages are. Nodes other than elements
// are passed over without a word, as is everything while notices are not
// shown.
void xml_pass_over(log_input &messages, const xml_node *node);
