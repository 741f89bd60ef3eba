#include "network/TNetworkAccessManagerAuthenticationHandler.h"

namespace shared {

TNetworkAccessManagerAuthenticationHandler::TNetworkAccessManagerAuthenticationHandler(QObject* parent)
    : QObject(parent)
{}

TNetworkAccessManagerAuthenticationHandler::~TNetworkAccessManagerAuthenticationHandler() = default;

} // namespace shared
