#pragma once

// Account commands. Each runs the system's tool, then judges the result
// only by the account database: 0 when the account is (or, for Userdel, is
// no longer) there, 1 otherwise. An argument too long for the command
// buffer fails without running anything. A failure of addGroup or addUser
// leaves errno saying why, never 0.

unsigned char addGroup(const char* group);
unsigned char addUser(const char* user, const char* home);
unsigned char Userdel(const char* user);
