// The component base: a named object owned by a form, whose published
// properties are read from a stored layout. While the layout is being read
// the component is in the loading state; Loaded() runs once it is complete.
#pragma once

#include <string>

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TComponent* Owner() const { return owner_; }

    bool Loading() const { return loading_; }
    bool Designing() const { return false; }  // there is no designer in this program

    // Called by the layout reader around reading this component's properties.
    void BeginLoading() { loading_ = true; }
    void EndLoading() {
        loading_ = false;
        Loaded();
    }

protected:
    // After the stored properties are read.
    virtual void Loaded() {}

private:
    TComponent* owner_;
    std::string name_;
    bool loading_ = false;
};
