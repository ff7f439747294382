#pragma once

// Package members built into qvremove, so that it can tell whether a system
// file still holds what the installer wrote from them.

// The sendmail.cf template.
extern const char kSendmailTemplateText[];
// The xinetd entry the installer makes where xinetd has none.
extern const char kXinetdEntryText[];
