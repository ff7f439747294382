#pragma once

// Small text files the service reads: its configuration and its lists.

#include <string>
#include <vector>

// Reads the whole file, refusing a symbolic link or anything but a regular
// file. False with `err` ("PATH: reason") when it cannot.
bool ReadTextFile(const std::string& path, std::string* text, std::string* err);

// The lines of `text` without their line feeds (and without a carriage
// return before one); a last line without a line feed counts too.
std::vector<std::string> SplitLines(const std::string& text);

// `text` without blanks and tabs at either end.
std::string TrimBlanks(const std::string& text);
