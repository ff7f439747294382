#pragma once

// The package's sendmail.cf template, built into qvremove so that it can
// tell whether sendmail.cf still holds what the installer wrote.
extern const char kSendmailTemplateText[];
