#pragma once

// quorvane start|stop|restart|status, in the manner of an init script: one
// line on standard output about what happened, errors on standard error,
// and the exit codes of the LSB init-script conventions.

#include "payload/qvsml/service_conf.h"

// LSB exit codes.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitNotConfigured = 6;
constexpr int kStatusNotRunning = 3;
constexpr int kStatusUnknown = 4;

// Starts the daemon unless it runs; returns once it listens.
int StartService(const ServiceConf& conf);
// Stops the daemon if it runs and removes its pid file.
int StopService(const ServiceConf& conf);
int RestartService(const ServiceConf& conf);
int ServiceStatus(const ServiceConf& conf);
