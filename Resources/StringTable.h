// The program's string table (ids 20000 to 20181), compiled in.
#pragma once

// The UTF-8 text of a string id, or "" for an id the table does not hold.
const char* LoadStringText(int id);
