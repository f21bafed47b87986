#pragma once

namespace cg {

class Database;

// Pick-lists and the operator's properties; model lookup; rolling trips.
// Their operations come with the screens that use them.
class LookupService {
public:
    explicit LookupService(Database &db) : m_db(db) {}
private:
    [[maybe_unused]] Database &m_db;
};

class ModelService {
public:
    explicit ModelService(Database &db) : m_db(db) {}
private:
    [[maybe_unused]] Database &m_db;
};

class ScrollTripService {
public:
    explicit ScrollTripService(Database &db) : m_db(db) {}
private:
    [[maybe_unused]] Database &m_db;
};

} // namespace cg
