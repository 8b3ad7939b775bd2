# Two commands for a new machine:
#   make demo   installs what is missing, builds, and starts the application on the demo workspace
#   make test   installs what is missing, builds, and runs every test
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build demo test clean

deps:
	bash tools/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/bin/homologa --demo

test: build
	bash tools/run-tests $(BUILD)

clean:
	rm -rf $(BUILD)
