#pragma once

// The HTTP session layer: sessions, requests with adapters and retriers, parameter encoding, status
// validation and decodable responses.
#include "alamofire/AFError.h"
#include "alamofire/ParameterEncoding.h"
#include "alamofire/Session.h"
