// Turns one message file into the text of a MessageTokens record: the
// subject line followed by the body text.
#pragma once

#include "message/message_tokens.h"

// Reads the file named by message.path. 1 when the file was opened, 0 when
// it cannot be opened.
int readMessageFile(MessageTokens& message);
