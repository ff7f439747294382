#pragma once

// /etc/Quorvane.conf as the installer writes it for the default answers:
// the one text that the installer's own tests, the scenario tests and the
// tests of the package's reader of the file all hold it to.

#include <string>

// The 14 lines; `sendmail_pid_file` is "/var/run/sendmail.pid" with the
// mail part and "" without it.
inline std::string DefaultConfText(const std::string& sendmail_pid_file) {
  return "#  Configuration file for Quorvane\n"
         "DNSType \"BIND9\"\n"
         "Port 33333\n"
         "NamedConfFile \"/etc/named.conf\"\n"
         "NamedPIDFile \"/var/run/named/named.pid\"\n"
         "SendMailPIDFile \"" +
         sendmail_pid_file +
         "\"\n"
         "AutoDisconnectTime 30\n"
         "Refresh 28800\n"
         "Retry 7200\n"
         "Expire 604800\n"
         "ttl 86400\n"
         "ns1 \"@\"\n"
         "InsFolder \"/usr/local/quorvane\"\n"
         "RFolder \"/var/quorvane\"\n";
}
