// The PathBatch Python class: an immutable object that owns one batch record.
// Nothing changes a batch after construction, so calls on it take no borrow
// and its core work may run on several threads at once.
#pragma once

#include "python/ref.hpp"

#include "core/path_batch.hpp"
#include "python/method_table.hpp"

namespace wayforge::py {

struct BatchObject {
    PyObject_HEAD
    PathBatch batch;
};

// Creates the PathBatch type object (a new reference), or returns null with
// an error set.
PyObject* create_batch_type();

// A new PathBatch object that owns the record.
Ref wrap_batch(PathBatch&& batch);

// The receiver of PathBatch methods (see method_table.hpp).
struct BatchReceiver {
    using Target = const PathBatch;
    static constexpr const char* cls = "PathBatch";
    static constexpr const char* param = nullptr;
    struct Hold {
        const PathBatch* batch;
        void mark_core_work() noexcept {}
    };
    // self is a PathBatch: the method descriptor checked it.
    static Hold hold(PyObject* self, Access) {
        return {&reinterpret_cast<BatchObject*>(self)->batch};
    }
    static const PathBatch& target(const Hold& hold) { return *hold.batch; }
    static double points(const PathBatch& batch) { return static_cast<double>(batch.point_count()); }
};

// The operations, in registration order (batch_methods.cpp).
extern const MethodEntry batch_resampled_path_entry;
extern const MethodEntry batch_smoothed_path_chaikin_entry;
extern const MethodEntry batch_compute_circle_fit_curvature_entry;
extern const MethodEntry batch_detect_corrupted_point_order_entry;
extern const MethodEntry batch_repair_corrupted_point_order_entry;

}  // namespace wayforge::py
