// The one cache policy for precomputed tables of recurring public points,
// used by the fixed-base tables (fixed_base.cpp) and by the odd-multiple
// rows of caller points (msm_rows.cpp):
// - a point's table is admitted on the second sight of the point, so a
//   point used once (most points a verifier meets) costs no table;
// - the points seen once are remembered in a bounded set of their own
//   (four times the table capacity, least recently seen dropped first), so
//   a stream of fresh points costs bounded memory and cannot push out the
//   tables in use;
// - beyond the capacity the least recently used table is evicted.
// Keys hash all of the point with the per-process seed of PointKeyHash, so
// chosen points cannot pile up in one bucket.
//
// Not synchronised: the owner holds a mutex of its own around every call,
// which lets a caller look up the many points of one sum under one lock.
// Values are normally shared_ptrs, so that a call still reading an evicted
// table keeps it alive.
#pragma once

#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

#include "point_key.hpp"

namespace vemo::curve {

// A map with least-recently-used eviction beyond a fixed capacity.
template <class V>
class LruMap {
 public:
  explicit LruMap(std::size_t cap) : cap_(cap) {}
  // The value for k, marked most recently used; null when absent.
  V* find(const PointKey& k) {
    auto it = map_.find(k);
    if (it == map_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second.second);
    return &it->second.first;
  }
  bool erase(const PointKey& k) {
    auto it = map_.find(k);
    if (it == map_.end()) return false;
    order_.erase(it->second.second);
    map_.erase(it);
    return true;
  }
  // Inserts k (absent) as the most recently used, evicting the least
  // recently used beyond the capacity; returns the stored value.
  V& insert(const PointKey& k, V v) {
    order_.push_front(k);
    auto& slot = map_.emplace(k, std::make_pair(std::move(v), order_.begin())).first->second.first;
    if (map_.size() > cap_) {
      map_.erase(order_.back());
      order_.pop_back();
    }
    return slot;
  }
  std::size_t size() const { return map_.size(); }

 private:
  std::size_t cap_;
  std::list<PointKey> order_;  // most recently used first
  std::unordered_map<PointKey, std::pair<V, std::list<PointKey>::iterator>, PointKeyHash> map_;
};

template <class V>
class SecondSightCache {
 public:
  // capacity >= 1 tables.
  explicit SecondSightCache(std::size_t capacity) : tables_(capacity), seen_once_(kSeenOncePerTable * capacity) {}

  // The table of k, marked most recently used; null when k has none.
  V* find(const PointKey& k) { return tables_.find(k); }

  // Records a sight of a k that has no table. True on its second sight: k
  // leaves the seen-once set, and the caller builds its table and admits
  // it. False on the first: k is remembered.
  bool second_sight(const PointKey& k) {
    if (seen_once_.erase(k)) return true;
    seen_once_.insert(k, Seen{});
    return false;
  }

  // Admits v as the table of k and returns the table kept: when another
  // caller admitted one for k meanwhile (both built it outside the lock),
  // that earlier one stays and v is dropped.
  V& admit(const PointKey& k, V v) {
    if (V* kept = tables_.find(k)) return *kept;
    return tables_.insert(k, std::move(v));
  }

  // Tables held (at most the capacity).
  std::size_t size() const { return tables_.size(); }

 private:
  static constexpr std::size_t kSeenOncePerTable = 4;
  struct Seen {};
  LruMap<V> tables_;
  LruMap<Seen> seen_once_;
};

}  // namespace vemo::curve
