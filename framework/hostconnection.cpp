#include "hostconnection.h"

HostConnection::~HostConnection() = default;
