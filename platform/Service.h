#pragma once
// Where a replaceable platform service is reached: the one the window or a test installed, or
// else a default that works without a display.

template <class Service>
class ServiceSlot {
 public:
  explicit ServiceSlot(Service& fallback) : fallback_(fallback), installed_(&fallback) {}
  ServiceSlot(const ServiceSlot&) = delete;
  ServiceSlot& operator=(const ServiceSlot&) = delete;

  Service& get() const { return *installed_; }
  // Installs service (nullptr: the default again) and returns the one installed before.
  Service* Install(Service* service) {
    Service* previous = installed_;
    installed_ = service != nullptr ? service : &fallback_;
    return previous;
  }

 private:
  Service& fallback_;
  Service* installed_;
};

// Installs a service for the lifetime of the guard and puts the previous one back afterwards.
template <class Service>
class ScopedService {
 public:
  ScopedService(ServiceSlot<Service>& slot, Service& service) : slot_(slot), previous_(slot.Install(&service)) {}
  ~ScopedService() { slot_.Install(previous_); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  ServiceSlot<Service>& slot_;
  Service* previous_;
};
