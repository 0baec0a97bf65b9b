#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>

/** Samba's state and its configuration file "/etc/samba/smb.conf", whole. */
using ServiceSambaReadHeavyTask = FamilyConfigFileTask<sambaFamily>;
