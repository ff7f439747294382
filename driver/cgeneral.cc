// The stages and the rollback as methods of the settings record: each hands
// the record, the console and the journal to the stage's own function.

#include "base/settings.h"
#include "config/config_stages.h"
#include "deploy/deploy_stages.h"
#include "driver/rollback.h"
#include "mail/mail_stages.h"

unsigned char CGeneral::ServerConf(unsigned char mail) {
  return AskServerSettings(*this, console_, journal_, mail);
}

unsigned char CGeneral::CheckDNS() { return AskDnsSettings(*this, console_, journal_); }

unsigned char CGeneral::CheckSendmail() { return HookIntoSendmail(*this, console_, journal_); }

unsigned char CGeneral::Updatexinetd() { return RegisterPop3WithXinetd(*this, console_, journal_); }

unsigned char CGeneral::Updateinetd() { return RegisterPop3WithInetd(*this, console_, journal_); }

unsigned char CGeneral::GCreateFolders(unsigned char mail) {
  return CreateServiceFolders(*this, console_, journal_, mail);
}

unsigned char CGeneral::CopyFiles(unsigned char mail) {
  return CopyPrograms(*this, console_, journal_, mail);
}

unsigned char CGeneral::CreateConf() { return WriteConfFile(*this, console_, journal_); }

void CGeneral::QVRemove(unsigned char stage, unsigned char mail) {
  RollBack(*this, console_, journal_, stage, mail);
}
