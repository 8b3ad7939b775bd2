# Two commands for a new machine:
#   make demo   installs what is missing, builds, and starts the application on the demo workspace
#   make test   installs what is missing, builds, and runs every test
#   make package  builds the Debian packages homologa and homologa-server into $(PACKAGE_BUILD)
BUILD ?= build
PACKAGE_BUILD ?= build-package
JOBS ?= $(shell nproc)

.PHONY: deps configure build demo test package clean

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

# A build folder of its own, without the tests and benchmarks the packages do not carry.
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOMOLOGA_TESTS=OFF -DHOMOLOGA_BENCH=OFF
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target package
	@ls -1 $(PACKAGE_BUILD)/*.deb

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD)
